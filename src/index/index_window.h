#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files/folder_listing.h"
#include "index/index_cache.h"
#include "index/index_item.h"
#include "index/index_layout.h"
#include "index/thumbnail_loader.h"
#include "ui/key_bindings.h"
#include "ui/menu_model.h"
#include "ui/toolkit_window.h"

namespace vt {

class ViewerApp;
struct OptionsBlock;

// The numbered commands of an index window.
enum IndexCommand : uint32_t {
  kIdxCreateNew = 22000,
  kIdxRecursive = 22001,
  kIdxNextWindow = 22002,
  kIdxPreviousWindow = 22003,
  kIdxViewImage = 22004,
  kIdxCopyFiles = 22005,
  kIdxMoveFiles = 22006,
  kIdxDeleteFiles = 22007,
  kIdxEraseFiles = 22008,
  kIdxRenameFiles = 22009,
  kIdxSaveAsBitmap = 22010,
  kIdxRescan = 22011,
  kIdxRecreate = 22012,
  kIdxSaveCache = 22013,
  kIdxUpdateCache = 22014,
  kIdxRemoveCache = 22015,
  kIdxToggleMaximized = 22016,
  kIdxFreeze = 22017,
  kIdxCreateSlideshow = 22018,
  kIdxSlideshow = 22019,
  kIdxSlideshowFullScreen = 22020,
  kIdxSortFullPath = 22021,
  kIdxSortName = 22022,
  kIdxSortFileSize = 22023,
  kIdxSortFileDate = 22024,
  kIdxSortImageSize = 22025,
  kIdxShowFolders = 22026,
  kIdxShowNonImages = 22027,
  kIdxNameLines1 = 22028,
  kIdxNameLines4 = 22031,
  kIdxShowResolution = 22032,
  kIdxShowExtension = 22033,
  kIdxShowFileSize = 22034,
  kIdxShowFileDate = 22035,
  kIdxShowComment = 22036,
  kIdxViewIndex = 22037,
  kIdxViewSlideshow = 22038,
  kIdxEditSlideshow = 22039,
  kIdxOpen = 22040,
  kIdxOptions = 22041,
  kIdxHelp = 22042,
  kIdxCloseAll = 22043,
  kIdxClose = 22044,
};

// The window's own messages: a thumbnail is done; the cache file was saved
// (argument: its status); close after opening an item.
inline constexpr uint32_t kIndexProgressCommand = 0x7650;
inline constexpr uint32_t kIndexSavedCommand = 0x7651;

// The index window's fixed key bindings.
std::span<const KeyBinding> BuiltInIndexBindings();

class IndexWindow;

// The commands whose work belongs to other parts of the program (copy, move,
// delete, erase and rename the selection, save the index as a bitmap, write
// or play a slideshow script, edit one, the options dialog): one function
// each, which that part supplies at start-up. It gets the window and its
// selected items in display order.
using IndexAction = std::function<void(IndexWindow& window, std::span<IndexItem* const> selection)>;
// The slot of such a command; nullptr for the commands the index carries itself.
IndexAction* IndexActionSlot(uint32_t command);

// Whether this program carries the command's behaviour yet (an action slot
// left empty: not yet). The others are disabled menu items and answer a key
// with a beep.
bool IsIndexCommandAvailable(uint32_t command);

// What the popup menu of an index window depends on, taken as it opens.
struct IndexMenuState {
  bool anySelected = false;
  bool imageSelected = false;
  bool folderSelected = false;
  bool scriptSelected = false;
  bool otherSelected = false;
  bool recursive = false;
  bool maximized = false;
  bool frozen = false;
  bool slideshowFullScreen = false;
  bool cacheValid = false;
  bool cacheOutOfDate = false;
  bool cacheFileExists = false;
  SortMode sort = SortMode::kName;
  IndexLayoutOptions layout;
};
struct IndexMenuText {
  std::function<std::u16string(std::u16string_view)> translate;
  std::function<std::u16string(uint16_t)> keysOf;
};
MenuModel BuildIndexMenu(const IndexMenuState& state, const IndexMenuText& text);

// Where a cache file is for a folder and whether the folder is a drive root:
// the window's title text for a folder.
std::u16string IndexTitle(std::u16string_view folder, bool fullPath, bool recursive,
                          std::optional<size_t> imageCount);

// One window that shows a folder as a grid of thumbnails.
class IndexWindow : public ToolkitWindow {
 public:
  explicit IndexWindow(ViewerApp& app);
  ~IndexWindow() override;

  // Makes the window and starts showing folder (the folder of a file named
  // instead). False when the window could not be made.
  bool Create(const std::u16string& folder, const std::optional<MonitorInfo>& monitor);

  void Dispatch(uint32_t command);
  // Shows another folder: scroll position and selection start afresh.
  void ShowFolder(const std::u16string& folder);

  const std::u16string& Folder() const { return folder_; }
  const IndexItemList& Items() const { return items_; }
  IndexCache& Cache() { return cache_; }
  IndexWorker& Worker() { return worker_; }
  bool IsRecursive() const { return recursive_; }
  bool IsLoading() const { return done_ < jobs_; }
  size_t ImageCount() const { return images_; }
  int32_t ScrollY() const { return scrollY_; }
  ViewSize GridSize() const { return grid_; }
  int32_t LineHeight() const { return lineHeight_; }
  const IndexLayoutOptions& Layout() const { return layout_; }
  IndexItem* ItemAt(ViewPoint client) const;
  // The grid painted into a picture of its whole size (the "save as bitmap" command's).
  RefPtr<ImageBuffer> PaintIndexImage();

  // Window events.
  void OnDestroyed() override;
  void OnSize(ViewSize client, ShowState state) override;
  void OnMove(ViewPoint clientTopLeft) override;
  void OnPaint(PaintTarget& target, const ViewRect& dirty) override;
  void OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) override;
  void OnMouseMove(ViewPoint client, uint8_t modifiers) override;
  void OnWheel(int delta, ViewPoint client, uint8_t modifiers) override;
  void OnTimer(uint32_t id) override;
  void OnCommand(uint32_t command, intptr_t argument) override;
  bool OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnDpiChanged(uint32_t dpi) override;
  bool OnCopyData(uint64_t tag, const void* data, size_t bytes) override;

  static constexpr uint32_t kCloseTimer = 1;
  static constexpr uint32_t kCloseDelay = 200;
  static constexpr uint32_t kRedrawInterval = 250;

 private:
  // Posts to the window from any thread for as long as it exists.
  class Poster;
  struct FolderWatch : FolderChangeListener {
    std::shared_ptr<Poster> poster;
    void OnFolderChanged() override;
  };

  OptionsBlock& Options() const;
  // Scans the folder again (items whose file is unchanged keep what they
  // learnt, unless dropAll) and starts the thumbnails.
  void Rescan(bool dropAll);
  void StartThumbnails();
  void ApplyOutcomes();
  void LoadingFinished();
  void Relayout();
  void Sort();
  void UpdateTitle();
  void Invalidate();
  void Watch(bool on);
  void SaveCache(bool commanded);
  void ScrollTo(int32_t y);
  void EnsureVisible(const IndexItem& item);
  void OpenItem(IndexItem& item);
  void OpenSelected();
  std::vector<IndexItem*> Selection() const;
  void ShowContextMenu(bool byKeyboard);
  void RunCommand(uint32_t command);
  void MoveFocus(int32_t dx, int32_t dy, bool page);
  void ToggleMaximized();
  void StoreFrozenPlacement();
  int32_t IndexOf(const IndexItem* item) const;
  // Painting (index_window_paint.cpp).
  void PaintGrid(PixelSurface& surface, int32_t top, bool scrollBar);
  std::shared_ptr<const PixelSurface> IconFor(const IndexItem& item);
  ViewRect ScrollBarRect() const;

  ViewerApp& app_;
  std::u16string folder_;
  IndexItemList items_;
  IndexCache cache_;
  IndexWorker worker_;
  std::shared_ptr<Poster> poster_;
  FolderWatch watch_;
  RefPtr<FolderListing> watched_;
  AcceleratorTable keys_;

  IndexLayoutOptions layout_;
  bool recursive_ = false;
  bool subfolderItems_ = false;
  bool cacheSizeFromFile_ = true;
  bool cacheChecked_ = false;
  bool commandedSave_ = false;
  size_t jobs_ = 0;
  size_t done_ = 0;
  size_t images_ = 0;
  uint64_t lastRedraw_ = 0;
  bool redrawPending_ = false;

  uint32_t dpi_ = 96;
  int32_t fontHeight_ = 14;
  int32_t lineHeight_ = 14;
  ViewSize client_;
  ViewSize grid_;
  int32_t scrollY_ = 0;
  PixelSurface surface_;

  IndexItem* pressed_ = nullptr;
  IndexItem* focus_ = nullptr;
  bool draggingWindow_ = false;
  bool draggingBar_ = false;
  ViewPoint dragStart_;
  ViewRect dragWindow_;
  int32_t dragScroll_ = 0;
  bool destroyed_ = false;
  bool menuOpen_ = false;
  int32_t commandNesting_ = 0;
  std::map<std::u16string, std::shared_ptr<const PixelSurface>> icons_;
};

}  // namespace vt
