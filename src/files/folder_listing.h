#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/ref_counted.h"
#include "base/tasks.h"

namespace vt {

class FolderListingRegistry;
class DirectoryWatch;

// What a listing keeps of a directory entry besides its name.
struct FolderEntryInfo {
  uint16_t nameLength = 0;     // characters, without the terminating NUL
  uint64_t size = 0;
  uint64_t lastWriteTime = 0;  // 100-ns units since 1601-01-01 (UTC)
  bool isFolder = false;
  bool isHidden = false;
};

// Told when a watched folder changed. Called on the watch thread with the
// listing's lock held: an implementation only records or posts the news (it may
// add or remove listeners of the same listing, but must not wait for a thread
// that could be adding or removing listeners itself).
class FolderChangeListener {
 public:
  virtual void OnFolderChanged() = 0;

 protected:
  ~FolderChangeListener() = default;
};

// The entries of one folder, in the order the system lists them, filled by a
// background scan and shared by every window that shows files of the folder.
//
// Entries live in a chain of 4096-byte blocks of packed records (count, name
// with its NUL, a fixed tail of size, time and flags). The scan writes a record's
// name and tail first and publishes its count last with a release store, so a
// reader on another thread that sees a non-zero count (acquire) sees the whole
// record; a zero count means "not written yet" and the reader waits for it.
// A block ends with the mark 0xFFFF; the scan always writes the final mark,
// also when it stops early.
//
// Reference counting is the listing's own rather than RefCounted's because
// the registry must be able to refuse a listing whose count already reached
// zero while it is being unlinked (see TryAddRef).
class FolderListing {
 public:
  void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const;

  // Readers walk the entries under a ReadLock; UpdateEntry rewrites blocks only
  // while no ReadLock is held, so the name pointers NextEntry hands out stay
  // valid for the life of the lock.
  class ReadLock {
   public:
    explicit ReadLock(const FolderListing& listing) : lock_(listing.entriesMutex_) {}

   private:
    std::shared_lock<std::shared_mutex> lock_;
  };

  // The folder path with a separator and "*" appended.
  const std::u16string& Pattern() const { return pattern_; }

  // The name of the entry after previous (a pointer this returned earlier under
  // the same lock), or of the first entry when previous is null; null at the
  // end. Waits (yielding, never blocking) while the scan has not yet written the
  // record. info, when given, receives the entry's length, size, time and flags.
  const char16_t* NextEntry(const ReadLock& lock, const char16_t* previous,
                            FolderEntryInfo* info = nullptr) const;

  // Cleared when the scan was stopped early or the folder changed: an invalid
  // listing is never handed out again.
  bool IsValid() const { return valid_.load(std::memory_order_acquire); }
  bool IsScanComplete() const { return scanComplete_.load(std::memory_order_acquire); }
  void WaitForScan() const;

  // Listeners hear about changes of the folder while they are registered; the
  // folder is watched while there is at least one and watching is not suspended.
  void AddListener(FolderChangeListener* listener);
  void RemoveListener(FolderChangeListener* listener);
  // Nests: true suspends (closing the watch), false resumes.
  void SuspendWatching(bool suspend);
  bool IsWatching() const;

  // After the program itself renamed (newName given) or removed (empty newName)
  // a file of this folder: edits the entry so no rescan is needed. Waits for the
  // scan first. False when no entry has that name.
  bool UpdateEntry(std::u16string_view oldName, std::u16string_view newName);

 private:
  friend class FolderListingRegistry;
  struct Block;
  struct WatchState;
  class BlockWriter;

  FolderListing(FolderListingRegistry* registry, std::u16string pattern);
  ~FolderListing();

  // Adds a reference unless the count already reached zero.
  bool TryAddRef() const;
  void StartScan();
  void Scan();
  void StartWatchingLocked();
  // Returns the watch thread to be joined once the lock is released.
  std::thread StopWatchingLocked();
  static void FinishStop(std::thread thread);
  void FolderChanged(const WatchState* state);
  void WatchLoop(std::shared_ptr<WatchState> state);
  const uint16_t* ReadRecord(const uint16_t* p, FolderEntryInfo* info) const;

  mutable std::atomic<uint32_t> refs_{1};
  RefPtr<FolderListingRegistry> registry_;
  std::u16string pattern_;

  std::atomic<Block*> first_{nullptr};
  mutable std::shared_mutex entriesMutex_;
  std::atomic<bool> valid_{true};
  std::atomic<bool> scanStop_{false};
  std::atomic<bool> scanComplete_{false};
  mutable Event scanDone_;
  std::thread scanThread_;

  // Guards the listeners, the suspend count and the start and stop of watching.
  // Recursive because listeners are called with it held and may edit the list.
  mutable std::recursive_mutex mutex_;
  struct ListenerNode {
    FolderChangeListener* listener;
    std::unique_ptr<ListenerNode> next;
  };
  std::unique_ptr<ListenerNode> listeners_;
  int32_t suspendCount_ = 0;
  std::shared_ptr<WatchState> watch_;
  std::thread watchThread_;

  // Registry links, guarded by the registry's lock.
  FolderListing* prev_ = nullptr;
  FolderListing* next_ = nullptr;
};

// Hands out listings: a valid listing of the same folder is shared, otherwise a
// new one is created and its scan started.
class FolderListingRegistry : public RefCounted {
 public:
  // Null for an empty path, a pattern longer than the path limit, or (with
  // onlyExisting) when no valid listing of the folder exists.
  RefPtr<FolderListing> Acquire(std::u16string_view folder, bool onlyExisting);
  size_t CountForTesting() const;

 private:
  friend class FolderListing;
  void Unlink(FolderListing* listing);

  mutable std::mutex mutex_;
  FolderListing* head_ = nullptr;
};

}  // namespace vt
