#include "index/index_window.h"

#include <algorithm>

#include "app/settings.h"
#include "base/file_system.h"
#include "base/folder_paths.h"
#include "base/text.h"
#include "files/navigate.h"
#include "image/format_registry.h"
#include "index/index_scan.h"
#include "index/index_sort.h"
#include "viewer/viewer_app.h"

namespace vt {

// Carries posts from worker and watch threads to the window while it exists.
class IndexWindow::Poster {
 public:
  explicit Poster(PlatformWindow* window) : window_(window) {}
  void Post(uint32_t command, intptr_t argument) {
    std::lock_guard lock(mutex_);
    if (window_) window_->PostCommand(command, argument);
  }
  // A burst of finished thumbnails costs one message: the window takes every
  // outcome waiting when it arrives.
  void PostProgress() {
    if (!progressPosted_.exchange(true)) Post(kIndexProgressCommand, 0);
  }
  void ProgressTaken() { progressPosted_.store(false); }
  void PostRescan() {
    if (!rescanPosted_.exchange(true)) Post(kIdxRescan, 0);
  }
  void RescanTaken() { rescanPosted_.store(false); }
  void Detach() {
    std::lock_guard lock(mutex_);
    window_ = nullptr;
  }

 private:
  std::mutex mutex_;
  PlatformWindow* window_;
  std::atomic<bool> progressPosted_{false};
  std::atomic<bool> rescanPosted_{false};
};

void IndexWindow::FolderWatch::OnFolderChanged() {
  if (poster) poster->PostRescan();
}

std::u16string IndexTitle(std::u16string_view folder, bool fullPath, bool recursive,
                          std::optional<size_t> imageCount) {
  std::u16string title;
  if (IsDriveRootFolder(folder)) {
    title = std::u16string(folder.substr(0, 2)) + u"\\";
    if (title[0] >= u'a' && title[0] <= u'z') title[0] = char16_t(title[0] - 32);
  } else if (fullPath) {
    title = folder;
  } else {
    size_t end = folder.size();
    while (end > 1 && IsPathSeparator(folder[end - 1])) --end;
    size_t cut = end;
    while (cut > 0 && !IsPathSeparator(folder[cut - 1])) --cut;
    title = folder.substr(cut, end - cut);
    if (title.empty()) title = folder;
  }
  if (recursive) title += u" + ...";
  if (imageCount) title += u" | " + AsciiToUtf16(std::to_string(*imageCount));
  return title + u" | Vistrel";
}

IndexWindow::IndexWindow(ViewerApp& app) : app_(app), worker_(GlobalFormatRegistry(), cache_) {}

IndexWindow::~IndexWindow() {
  if (poster_) poster_->Detach();
  worker_.Cancel();
  Watch(false);
}

OptionsBlock& IndexWindow::Options() const { return app_.AppSettings().Options(); }

bool IndexWindow::Create(const std::u16string& path, const std::optional<MonitorInfo>& monitor) {
  Platform& os = app_.Os();
  const MonitorInfo m = monitor ? *monitor : os.MonitorNearest({0, 0, 1, 1});
  const ViewRect area = m.workArea;
  OptionsBlock& o = Options();
  ViewSize size{area.Width() * 3 / 4, area.Height() * 3 / 4};
  ViewPoint at{area.left + (area.Width() - size.width) / 2, area.top + (area.Height() - size.height) / 2};
  if (o.indexWindowWidth && o.indexWindowHeight) {
    size = {o.indexWindowWidth, o.indexWindowHeight};
    if (o.indexFrozen) at = {int16_t(o.indexWindowX), int16_t(o.indexWindowY)};
  }
  WindowCreateParams params;
  params.title = u"Vistrel";
  params.clientTopLeft = at;
  params.clientSize = size;
  params.visible = false;
  params.acceptFiles = true;
  if (!CreateToolkitWindow(params)) return false;
  poster_ = std::make_shared<Poster>(Window());
  watch_.poster = poster_;
  keys_ = AcceleratorTable(std::vector<KeyBinding>(BuiltInIndexBindings().begin(), BuiltInIndexBindings().end()));
  SetAccelerators(&keys_);
  cacheSizeFromFile_ = o.indexCacheSizeOverrides != 0;
  layout_ = IndexLayoutOptions::From(o);
  OnDpiChanged(Window()->Monitor().dpi);
  client_ = Window()->ClientSize();
  Window()->Show(ShowState::kNormal, true);
  ShowFolder(IsFolderPath(path) ? path : ParentFolder(path));
  return true;
}

void IndexWindow::ShowFolder(const std::u16string& folder) {
  folder_ = folder;
  scrollY_ = 0;
  focus_ = pressed_ = nullptr;
  Rescan(true);
}

void IndexWindow::Watch(bool on) {
  RefPtr<FolderListing> listing;
  if (on && !folder_.empty()) listing = app_.FolderNavigator().Listings().Acquire(folder_, false);
  if (listing == watched_) return;
  if (watched_) watched_->RemoveListener(&watch_);
  watched_ = listing;
  if (watched_) watched_->AddListener(&watch_);
}

void IndexWindow::Rescan(bool dropAll) {
  worker_.Cancel();
  if (poster_) poster_->ProgressTaken();
  Watch(false);
  if (dropAll) {
    items_.clear();
    icons_.clear();
    focus_ = pressed_ = nullptr;
  }
  const bool cacheUsable = cache_.SetFolder(folder_);
  const IndexLayoutOptions wanted = IndexLayoutOptions::From(Options());
  worker_.StartRun(uint32_t(wanted.boxWidth), uint32_t(wanted.boxHeight), cacheSizeFromFile_);

  IndexItemList reuse = std::move(items_);
  items_.clear();
  IndexScanResult scan = ScanIndexFolder(app_.FolderNavigator().Listings(), folder_, reuse, recursive_,
                                         LogicalDriveMask());
  // Items not found again are gone: so is any pointer to them.
  for (const auto& gone : reuse) {
    if (gone.get() == focus_) focus_ = nullptr;
    if (gone.get() == pressed_) pressed_ = nullptr;
  }
  reuse.clear();
  items_ = std::move(scan.items);
  subfolderItems_ = scan.subfolderItems;

  // The box the thumbnails are made for: the file's when its size rules.
  uint32_t boxWidth = uint32_t(wanted.boxWidth), boxHeight = uint32_t(wanted.boxHeight);
  if (cacheUsable) worker_.WaitForCache(&boxWidth, &boxHeight);
  if (int32_t(boxWidth) != layout_.boxWidth || int32_t(boxHeight) != layout_.boxHeight) {
    for (auto& item : items_) {
      if (item->kind == ItemKind::kImage) item->thumbnail.reset();
    }
  }
  layout_ = wanted;
  layout_.boxWidth = int32_t(boxWidth);
  layout_.boxHeight = int32_t(boxHeight);

  if (recursive_) Options().indexSortOrder = uint8_t(SortMode::kFullPath);
  const SortMode mode = SortMode(Options().indexSortOrder);
  if (mode != SortMode::kNone && mode != SortMode::kImageSize) SortIndexItems(items_, mode);
  Relayout();
  StartThumbnails();
  if (!recursive_) Watch(true);
  UpdateTitle();
  Invalidate();
}

void IndexWindow::StartThumbnails() {
  std::vector<IndexWorker::Job> jobs;
  images_ = 0;
  for (auto& item : items_) {
    if (item->kind == ItemKind::kImage && item->thumbnail) ++images_;
    const bool needed = item->kind == ItemKind::kUnexamined || (item->kind == ItemKind::kImage && !item->thumbnail);
    if (!needed || item->path == kPathTooLongText) continue;
    jobs.push_back({item.get(), item->path, std::u16string(item->Name()), item->fileSize, item->lastWriteTime,
                    HasExtension(item->Name(), u".lnk")});
  }
  jobs_ = jobs.size();
  done_ = 0;
  cacheChecked_ = false;
  lastRedraw_ = app_.Os().TickCount();
  if (jobs.empty()) {
    LoadingFinished();
    return;
  }
  app_.Os().SetProgress(ProgressState::kNormal, 0, uint32_t(jobs_));
  Platform* os = &app_.Os();
  std::shared_ptr<Poster> poster = poster_;
  worker_.StartThumbnails(
      std::move(jobs), std::max<uint32_t>(1, ParallelThreadCount()), [poster] { poster->PostProgress(); },
      [os](const std::u16string& link) -> std::optional<std::pair<std::u16string, bool>> {
        auto target = os->ResolveShortcut(link);
        if (!target) return std::nullopt;
        return std::make_pair(*target, IsFolderPath(*target));
      });
}

void IndexWindow::ApplyOutcomes() {
  if (poster_) poster_->ProgressTaken();
  std::vector<ThumbnailOutcome> outcomes = worker_.TakeOutcomes();
  if (outcomes.empty()) return;
  for (ThumbnailOutcome& o : outcomes) {
    IndexItem& item = *o.item;
    if (HasExtension(item.Name(), u".lnk")) item.shortcut = true;
    if (o.targetStamp) item.fileSize = o.targetStamp->first, item.lastWriteTime = o.targetStamp->second;
    if (!o.target.empty()) item.target = std::move(o.target);
    item.kind = o.kind;
    if (o.kind == ItemKind::kImage) {
      item.width = o.width, item.height = o.height, item.bitsPerPixel = o.bitsPerPixel;
      item.thumbnail = std::move(o.thumbnail);
      item.comment = std::move(o.comment);
      ++images_;
    }
    ++done_;
  }
  Relayout();
  app_.Os().SetProgress(ProgressState::kNormal, uint32_t(done_), uint32_t(jobs_));
  UpdateTitle();
  if (done_ >= jobs_) {
    LoadingFinished();
    Invalidate();
    return;
  }
  // A long list is redrawn at most every quarter second while it fills.
  const uint64_t now = app_.Os().TickCount();
  if (items_.size() < 257 || now - lastRedraw_ >= kRedrawInterval) {
    lastRedraw_ = now;
    Invalidate();
  }
}

void IndexWindow::LoadingFinished() {
  app_.Os().SetProgress(ProgressState::kNone, 0, 0);
  if (SortMode(Options().indexSortOrder) == SortMode::kImageSize && !recursive_) {
    SortIndexItems(items_, SortMode::kImageSize);
    Relayout();
  }
  if (cacheChecked_) return;
  cacheChecked_ = true;
  std::vector<IndexCacheEntry> present;
  bool anyImage = false;
  for (const auto& item : items_) {
    if (item->kind != ItemKind::kImage || !item->thumbnail) continue;
    anyImage = true;
    present.push_back({std::u16string(item->Name()), item->fileSize, item->lastWriteTime, 0, 0, 0, nullptr, {}});
  }
  // Records of images that are gone or changed make the file out of date.
  if (cache_.IsValid() && cache_.CountRecordsWithout(present) > 0) cache_.SetOutOfDate();
  // Kept up to date automatically: a folder with images and no file, or a
  // file that no longer matches. A folder without images gets no file of its
  // own accord (it would hold nothing but would be written at every visit).
  if (Options().indexAutoCreateCache && !recursive_ &&
      ((anyImage && !cache_.IsValid()) || cache_.IsOutOfDate()))
    SaveCache(false);
}

void IndexWindow::SaveCache(bool commanded) {
  Platform& os = app_.Os();
  if (recursive_) {
    if (commanded)
      os.ShowMessageBox(Window(), app_.Translate(u"无法创建缓存文件!"), u"Vistrel", MessageBoxKind::kError);
    return;
  }
  std::vector<IndexCacheEntry> entries;
  for (const auto& item : items_) {
    IndexCacheEntry e;
    e.name = item->Name();
    e.fileSize = item->fileSize;
    e.lastWriteTime = item->lastWriteTime;
    if (item->kind == ItemKind::kImage && item->thumbnail) {
      e.width = item->width, e.height = item->height, e.bitsPerPixel = item->bitsPerPixel;
      e.thumbnail = item->thumbnail;
      e.comment = item->comment;
    }
    entries.push_back(std::move(e));
  }
  commandedSave_ = commanded;
  // Our own write is no change to rescan for.
  Watch(false);
  std::shared_ptr<Poster> poster = poster_;
  worker_.StartSave(std::move(entries), uint32_t(layout_.boxWidth), uint32_t(layout_.boxHeight),
                    [poster](Status s) { poster->Post(kIndexSavedCommand, intptr_t(s)); });
}

void IndexWindow::Relayout() {
  if (!Window()) return;
  client_ = Window()->ClientSize();
  grid_ = PlaceCells(items_, layout_, lineHeight_, client_.width);
  ScrollTo(scrollY_);
}

void IndexWindow::ScrollTo(int32_t y) {
  const int32_t most = std::max(0, grid_.height - client_.height);
  const int32_t clamped = std::clamp(y, 0, most);
  if (clamped != scrollY_) {
    scrollY_ = clamped;
    Invalidate();
  }
}

void IndexWindow::UpdateTitle() {
  if (!Window()) return;
  const OptionsBlock& o = Options();
  std::optional<size_t> count;
  if (o.indexShowImageCount) count = images_;
  Window()->SetTitle(IndexTitle(folder_, o.indexShowFullPath != 0, recursive_, count));
}

void IndexWindow::Invalidate() {
  if (Window() && !destroyed_) Window()->Repaint();
}

int32_t IndexWindow::IndexOf(const IndexItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return int32_t(i);
  return -1;
}

IndexItem* IndexWindow::ItemAt(ViewPoint client) const {
  const ViewPoint p{client.x, client.y + scrollY_};
  for (const auto& item : items_) {
    if (item->visible && Contains(ContentOfCell(item->cell, layout_), p)) return item.get();
  }
  return nullptr;
}

void IndexWindow::OnDestroyed() {
  destroyed_ = true;
  if (poster_) poster_->Detach();
  worker_.Cancel();
  Watch(false);
  app_.Os().SetProgress(ProgressState::kNone, 0, 0);
  app_.IndexWindowDestroyed(this);
}

void IndexWindow::OnSize(ViewSize client, ShowState state) {
  if (state == ShowState::kMinimized) return;
  client_ = client;
  Relayout();
  StoreFrozenPlacement();
  Invalidate();
}

void IndexWindow::OnMove(ViewPoint) { StoreFrozenPlacement(); }

void IndexWindow::StoreFrozenPlacement() {
  OptionsBlock& o = Options();
  if (!o.indexFrozen || !Window() || Window()->State() != ShowState::kNormal) return;
  const ViewPoint at = Window()->ClientOrigin();
  const ViewSize size = Window()->ClientSize();
  o.indexWindowX = uint16_t(at.x), o.indexWindowY = uint16_t(at.y);
  o.indexWindowWidth = uint16_t(std::clamp(size.width, 0, 0xFFFF));
  o.indexWindowHeight = uint16_t(std::clamp(size.height, 0, 0xFFFF));
}

void IndexWindow::OnDpiChanged(uint32_t dpi) {
  dpi_ = dpi ? dpi : 96;
  fontHeight_ = IndexFontHeight(dpi_);
  lineHeight_ = std::max(1, app_.Os().Text().Measure(u"Ag", FontSpec{fontHeight_, false}).height);
  Relayout();
  Invalidate();
}

bool IndexWindow::OnCopyData(uint64_t tag, const void* data, size_t bytes) {
  return app_.ReceiveHandOff(tag, data, bytes);
}

void IndexWindow::OnTimer(uint32_t id) {
  if (id == kCloseTimer) {
    Window()->KillTimer(kCloseTimer);
    Window()->Destroy();
  }
}

void IndexWindow::OnCommand(uint32_t command, intptr_t argument) {
  switch (command) {
    case kIndexProgressCommand: ApplyOutcomes(); return;
    case kIndexSavedCommand:
      if (!recursive_) Watch(true);
      if (Failed(Status(argument)) && commandedSave_)
        app_.Os().ShowMessageBox(Window(), app_.Translate(u"无法创建缓存文件!"), u"Vistrel", MessageBoxKind::kError);
      commandedSave_ = false;
      return;
    case kIdxRescan:
      if (poster_) poster_->RescanTaken();
      Dispatch(command);
      return;
    default: Dispatch(command); return;
  }
}

}  // namespace vt
