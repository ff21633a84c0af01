#include "files/folder_listing.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#include "base/file_system.h"

namespace vt {

namespace {

constexpr size_t kBlockBytes = 4096;
constexpr uint16_t kEndMark = 0xFFFF;
// Size (4 words), last-write time (4 words), the two flags (1 word).
constexpr size_t kTailWords = 9;
// How long a change burst must be quiet before listeners hear of it.
constexpr uint32_t kDebounceMs = 100;

size_t RecordWords(uint16_t count) { return 1 + count + kTailWords; }

uint16_t LoadCount(const uint16_t* p) {
  return std::atomic_ref<uint16_t>(*const_cast<uint16_t*>(p)).load(std::memory_order_acquire);
}
void PublishCount(uint16_t* p, uint16_t count) {
  std::atomic_ref<uint16_t>(*p).store(count, std::memory_order_release);
}

// Waiting for the scan: yield first, then nap, so a reader that outruns the scan
// of a slow (network) folder does not keep a processor busy.
void Backoff(uint32_t& spins) {
  if (++spins < 64) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace

// The pointer to the next block sits in the block's last bytes; records and
// marks use the words before it. Blocks are aligned to their size so a record
// pointer finds its block by masking.
struct FolderListing::Block {
  static constexpr size_t kWords = (kBlockBytes - sizeof(void*)) / 2;
  uint16_t words[kWords];
  Block* next;

  static Block* Allocate() {
    void* p = ::operator new(sizeof(Block), std::align_val_t{kBlockBytes}, std::nothrow);
    if (p) std::memset(p, 0, sizeof(Block));
    return static_cast<Block*>(p);
  }
  static void Free(Block* b) { ::operator delete(b, std::align_val_t{kBlockBytes}); }
  static Block* Of(const uint16_t* p) {
    return reinterpret_cast<Block*>(reinterpret_cast<uintptr_t>(p) & ~uintptr_t{kBlockBytes - 1});
  }
};

// Appends records to a chain of blocks, publishing each record's count last.
class FolderListing::BlockWriter {
 public:
  // first receives the first block this writer allocates (release store).
  explicit BlockWriter(std::atomic<Block*>* first) : first_(first) {}

  // record: count, name with NUL, tail. False when memory ran out.
  bool Append(const uint16_t* record) {
    const size_t words = RecordWords(record[0]);
    if (!block_ || pos_ + words + 1 > Block::kWords) {
      Block* b = Block::Allocate();
      if (!b) return false;
      Write(b, 0, record, words);
      if (block_) {
        block_->next = b;
        PublishCount(&block_->words[pos_], kEndMark);
      } else {
        first_->store(b, std::memory_order_release);
      }
      block_ = b;
      pos_ = words;
      return true;
    }
    Write(block_, pos_, record, words);
    pos_ += words;
    return true;
  }

  // The final mark; the last block's next pointer is already null (or set by
  // the caller before this).
  void Finish(Block* next = nullptr) {
    if (!block_) return;
    block_->next = next;
    PublishCount(&block_->words[pos_], kEndMark);
  }
  bool Empty() const { return block_ == nullptr; }

 private:
  static void Write(Block* b, size_t pos, const uint16_t* record, size_t words) {
    std::memcpy(&b->words[pos + 1], record + 1, (words - 1) * 2);
    PublishCount(&b->words[pos], record[0]);
  }

  std::atomic<Block*>* first_;
  Block* block_ = nullptr;
  size_t pos_ = 0;
};

struct FolderListing::WatchState {
  std::unique_ptr<DirectoryWatch> watch;
  std::atomic<bool> stop{false};
};

namespace {

// Builds a record in words: count, name, NUL, tail.
void BuildRecord(std::vector<uint16_t>* out, std::u16string_view name, uint64_t size,
                 uint64_t time, bool isFolder, bool isHidden) {
  const uint16_t count = static_cast<uint16_t>(name.size() + 1);
  out->assign(RecordWords(count), 0);
  uint16_t* r = out->data();
  r[0] = count;
  std::memcpy(r + 1, name.data(), name.size() * 2);
  unsigned char* tail = reinterpret_cast<unsigned char*>(r + 1 + count);
  std::memcpy(tail, &size, 8);
  std::memcpy(tail + 8, &time, 8);
  tail[16] = isFolder ? 1 : 0;
  tail[17] = isHidden ? 1 : 0;
}

}  // namespace

FolderListing::FolderListing(FolderListingRegistry* registry, std::u16string pattern)
    : registry_(registry), pattern_(std::move(pattern)) {}

FolderListing::~FolderListing() {
  std::thread watchThread;
  {
    std::lock_guard lock(mutex_);
    watchThread = StopWatchingLocked();
    listeners_.reset();
  }
  FinishStop(std::move(watchThread));
  scanStop_.store(true, std::memory_order_relaxed);
  if (scanThread_.joinable()) scanThread_.join();
  Block* b = first_.load(std::memory_order_acquire);
  while (b) {
    Block* next = b->next;
    Block::Free(b);
    b = next;
  }
}

void FolderListing::Release() const {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // Unlinked before destruction; until then the registry sees a zero count and
  // leaves the listing alone.
  registry_->Unlink(const_cast<FolderListing*>(this));
  delete this;
}

bool FolderListing::TryAddRef() const {
  uint32_t n = refs_.load(std::memory_order_relaxed);
  while (n != 0) {
    if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
  }
  return false;
}

void FolderListing::StartScan() {
  try {
    scanThread_ = std::thread([this] { Scan(); });
  } catch (const std::system_error&) {
    // No thread: an empty listing that is never handed out again.
    valid_.store(false, std::memory_order_release);
    scanComplete_.store(true, std::memory_order_release);
    scanDone_.Set();
  }
}

// Runs on a thread of its own rather than on the task pool: it blocks on the
// file system (a slow network folder can take seconds), and loads running on
// the pool wait for it.
void FolderListing::Scan() {
  BlockWriter writer(&first_);
  std::vector<uint16_t> record;
  const size_t patternLength = pattern_.size();
  EnumerateDirectory(pattern_, [&](const DirectoryEntry& e) {
    if (scanStop_.load(std::memory_order_relaxed)) {
      valid_.store(false, std::memory_order_release);
      return false;
    }
    // Entries whose full path would pass the path limit are left out: nothing
    // could open them by that path anyway.
    if (patternLength + e.name.size() + 1 >= kMaxPath + 1) return true;
    BuildRecord(&record, e.name, e.size, e.lastWriteTime, e.isFolder, e.isHidden);
    if (!writer.Append(record.data())) {
      valid_.store(false, std::memory_order_release);
      return false;
    }
    return true;
  });
  writer.Finish();
  scanComplete_.store(true, std::memory_order_release);
  scanDone_.Set();
}

void FolderListing::WaitForScan() const { scanDone_.Wait(); }

const uint16_t* FolderListing::ReadRecord(const uint16_t* p, FolderEntryInfo* info) const {
  uint32_t spins = 0;
  for (;;) {
    const uint16_t count = LoadCount(p);
    if (count == kEndMark) {
      const Block* next = Block::Of(p)->next;
      if (!next) return nullptr;
      p = next->words;
      continue;
    }
    if (count == 0) {
      // Not written yet. Once the scan is over every position holds a record or
      // a mark, so a zero then would only mean a damaged chain: end the walk.
      if (IsScanComplete() && LoadCount(p) == 0) return nullptr;
      Backoff(spins);
      continue;
    }
    if (info) {
      const unsigned char* tail = reinterpret_cast<const unsigned char*>(p + 1 + count);
      info->nameLength = static_cast<uint16_t>(count - 1);
      std::memcpy(&info->size, tail, 8);
      std::memcpy(&info->lastWriteTime, tail + 8, 8);
      info->isFolder = tail[16] != 0;
      info->isHidden = tail[17] != 0;
    }
    return p + 1;
  }
}

const char16_t* FolderListing::NextEntry(const ReadLock&, const char16_t* previous,
                                         FolderEntryInfo* info) const {
  const uint16_t* p;
  if (!previous) {
    uint32_t spins = 0;
    for (;;) {
      // Read the flag before the pointer: a scan that completed before the
      // flag was read has published its first block too.
      const bool complete = IsScanComplete();
      const Block* b = first_.load(std::memory_order_acquire);
      if (b) {
        p = b->words;
        break;
      }
      if (complete) return nullptr;
      Backoff(spins);
    }
  } else {
    p = reinterpret_cast<const uint16_t*>(previous) - 1;
    p += RecordWords(LoadCount(p));
  }
  return reinterpret_cast<const char16_t*>(ReadRecord(p, info));
}

bool FolderListing::UpdateEntry(std::u16string_view oldName, std::u16string_view newName) {
  WaitForScan();
  std::unique_lock lock(entriesMutex_);
  Block* b = first_.load(std::memory_order_acquire);
  size_t pos = 0;
  while (b) {
    const uint16_t count = b->words[pos];
    if (count == kEndMark || count == 0) {
      b = b->next;
      pos = 0;
      continue;
    }
    std::u16string_view name(reinterpret_cast<const char16_t*>(&b->words[pos + 1]), count - 1u);
    if (SameFileName(name, oldName)) break;
    pos += RecordWords(count);
  }
  if (!b) return false;

  const uint16_t oldCount = b->words[pos];
  const size_t oldWords = RecordWords(oldCount);
  size_t end = pos + oldWords;  // the block's end mark
  while (b->words[end] != kEndMark) end += RecordWords(b->words[end]);

  // A name the scan would have left out is removed rather than renamed.
  const bool remove = newName.empty() || pattern_.size() + newName.size() + 1 >= kMaxPath + 1;
  std::vector<uint16_t> record;
  if (!remove) {
    const unsigned char* tail = reinterpret_cast<const unsigned char*>(&b->words[pos + 1 + oldCount]);
    uint64_t size, time;
    std::memcpy(&size, tail, 8);
    std::memcpy(&time, tail + 8, 8);
    BuildRecord(&record, newName, size, time, tail[16] != 0, tail[17] != 0);
  }
  const size_t newWords = record.size();
  const size_t rest = end + 1 - (pos + oldWords);  // following records and the mark

  if (end - oldWords + newWords + 1 <= Block::kWords) {
    std::memmove(&b->words[pos + newWords], &b->words[pos + oldWords], rest * 2);
    if (newWords) std::memcpy(&b->words[pos], record.data(), newWords * 2);
    const size_t newEnd = end - oldWords + newWords;
    if (newEnd < end) std::memset(&b->words[newEnd + 1], 0, (end - newEnd) * 2);
    return true;
  }

  // The grown record no longer fits: the block ends before it, and the record
  // and those that followed it move to new blocks linked in its place.
  std::atomic<Block*> firstNew{nullptr};
  BlockWriter writer(&firstNew);
  bool ok = writer.Append(record.data());
  for (size_t p = pos + oldWords; ok && p < end; p += RecordWords(b->words[p])) {
    ok = writer.Append(&b->words[p]);
  }
  if (!ok) {
    // Out of memory: leave the listing as it was, minus nothing; free what was built.
    writer.Finish();
    Block* n = firstNew.load();
    while (n) {
      Block* next = n->next;
      Block::Free(n);
      n = next;
    }
    return false;
  }
  writer.Finish(b->next);
  b->next = firstNew.load();
  b->words[pos] = kEndMark;
  std::memset(&b->words[pos + 1], 0, (end - pos) * 2);
  return true;
}

// Watching.

bool FolderListing::IsWatching() const {
  std::lock_guard lock(mutex_);
  return watch_ != nullptr;
}

void FolderListing::AddListener(FolderChangeListener* listener) {
  if (!listener) return;
  std::lock_guard lock(mutex_);
  for (ListenerNode* n = listeners_.get(); n; n = n->next.get()) {
    if (n->listener == listener) return;
  }
  const bool wasEmpty = !listeners_;
  listeners_ = std::make_unique<ListenerNode>(ListenerNode{listener, std::move(listeners_)});
  if (wasEmpty && suspendCount_ == 0) StartWatchingLocked();
}

void FolderListing::RemoveListener(FolderChangeListener* listener) {
  std::thread stopped;
  {
    std::lock_guard lock(mutex_);
    for (std::unique_ptr<ListenerNode>* link = &listeners_; *link; link = &(*link)->next) {
      if ((*link)->listener == listener) {
        *link = std::move((*link)->next);
        break;
      }
    }
    if (!listeners_) stopped = StopWatchingLocked();
  }
  FinishStop(std::move(stopped));
}

void FolderListing::SuspendWatching(bool suspend) {
  std::thread stopped;
  {
    std::lock_guard lock(mutex_);
    if (suspend) {
      if (suspendCount_++ == 0) stopped = StopWatchingLocked();
    } else if (suspendCount_ > 0) {
      if (--suspendCount_ == 0 && listeners_) StartWatchingLocked();
    }
  }
  FinishStop(std::move(stopped));
}

void FolderListing::StartWatchingLocked() {
  if (watch_) return;
  // The folder is the pattern without its last component and the separator
  // before it; a root keeps its separator ("C:\", "/").
  size_t cut = pattern_.size();
  while (cut > 0 && !IsPathSeparator(pattern_[cut - 1])) --cut;
  if (cut == 0) return;
  std::u16string folder = pattern_.substr(0, cut - 1);
  if (folder.empty() || folder.back() == u':') folder.push_back(pattern_[cut - 1]);
  auto state = std::make_shared<WatchState>();
  state->watch = DirectoryWatch::Start(folder);
  if (!state->watch) return;
  try {
    watchThread_ = std::thread([this, state] { WatchLoop(state); });
  } catch (const std::system_error&) {
    return;
  }
  watch_ = std::move(state);
}

std::thread FolderListing::StopWatchingLocked() {
  if (!watch_) return {};
  watch_->stop.store(true, std::memory_order_release);
  watch_->watch->Stop();
  watch_.reset();
  return std::move(watchThread_);
}

void FolderListing::FinishStop(std::thread thread) {
  if (!thread.joinable()) return;
  // A listener that ends the watch from inside its notification runs on the
  // watch thread itself; that thread sees the stop flag and ends on its own.
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
}

void FolderListing::WatchLoop(std::shared_ptr<WatchState> state) {
  DirectoryWatch& w = *state->watch;
  for (;;) {
    if (w.Wait(DirectoryWatch::kInfinite) != DirectoryWatch::WaitResult::Changed) return;
    // Let a burst of changes settle: one notification, kDebounceMs after the
    // last change.
    DirectoryWatch::WaitResult r;
    do {
      if (state->stop.load(std::memory_order_acquire)) return;
      w.Rearm();
      r = w.Wait(kDebounceMs);
    } while (r == DirectoryWatch::WaitResult::Changed);
    if (r == DirectoryWatch::WaitResult::Stopped) return;
    if (state->stop.load(std::memory_order_acquire)) return;
    // Nothing of the listing may be touched after FolderChanged: a listener may
    // have released it.
    FolderChanged(state.get());
  }
}

void FolderListing::FolderChanged(const WatchState* state) {
  // Hold a reference while notifying so a listener that releases the listing
  // does not destroy it under this frame; none left means it is being destroyed.
  if (!TryAddRef()) return;
  {
    std::lock_guard lock(mutex_);
    if (!state->stop.load(std::memory_order_acquire) && suspendCount_ < 1) {
      valid_.store(false, std::memory_order_release);
      // Listeners may add or remove listeners (themselves included) while
      // being told, so each one is looked up again before it is called.
      std::vector<FolderChangeListener*> snapshot;
      for (ListenerNode* n = listeners_.get(); n; n = n->next.get()) snapshot.push_back(n->listener);
      for (FolderChangeListener* l : snapshot) {
        if (state->stop.load(std::memory_order_acquire)) break;
        bool present = false;
        for (ListenerNode* n = listeners_.get(); n && !present; n = n->next.get())
          present = n->listener == l;
        if (present) l->OnFolderChanged();
      }
    }
  }
  Release();
}

// Registry.

RefPtr<FolderListing> FolderListingRegistry::Acquire(std::u16string_view folder,
                                                     bool onlyExisting) {
  if (folder.empty()) return nullptr;
  std::u16string pattern(folder);
  // Windows takes either separator; one spelling lets "C:\a/" and "C:\a\" share
  // a listing. Elsewhere a backslash is an ordinary character of a name.
  if constexpr (kPathSeparator == u'\\') {
    for (char16_t& c : pattern) {
      if (c == u'/') c = kPathSeparator;
    }
  }
  if (pattern.find(u'*') == std::u16string::npos) {
    if (!IsPathSeparator(pattern.back())) pattern.push_back(kPathSeparator);
    pattern.push_back(u'*');
  }
  if (pattern.size() + 1 > kMaxPath) return nullptr;

  std::lock_guard lock(mutex_);
  for (FolderListing* l = head_; l; l = l->next_) {
    if (l->IsValid() && SameFileName(l->pattern_, pattern) && l->TryAddRef()) {
      return RefPtr<FolderListing>::Adopt(l);
    }
  }
  if (onlyExisting) return nullptr;
  auto* listing = new FolderListing(this, std::move(pattern));
  listing->next_ = head_;
  if (head_) head_->prev_ = listing;
  head_ = listing;
  listing->StartScan();
  return RefPtr<FolderListing>::Adopt(listing);
}

void FolderListingRegistry::Unlink(FolderListing* l) {
  std::lock_guard lock(mutex_);
  if (l->prev_) {
    l->prev_->next_ = l->next_;
  } else if (head_ == l) {
    head_ = l->next_;
  }
  if (l->next_) l->next_->prev_ = l->prev_;
  l->prev_ = l->next_ = nullptr;
}

size_t FolderListingRegistry::CountForTesting() const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (FolderListing* l = head_; l; l = l->next_) ++n;
  return n;
}

}  // namespace vt
