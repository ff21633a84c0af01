// The index window's commands, its popup menu and its key list.
#include <algorithm>
#include <iterator>

#include "app/settings.h"
#include "base/file_system.h"
#include "base/folder_paths.h"
#include "index/index_sort.h"
#include "index/index_window.h"
#include "ui/popup_menu.h"
#include "viewer/view_commands.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_window.h"

namespace vt {

namespace {

constexpr KeyBinding kIndexBindings[] = {
    {0, 0x43, 22013}, {2, 0x46, 22017}, {0, 0x4E, 22000}, {0, 0x53, 22019}, {0, 0x58, 22015},
    {4, 0x58, 22044}, {6, 0x58, 22043}, {0, 0x1B, 22044}, {4, 0x0D, 22016}, {0, 0x91, 22017},
    {0, 0x09, 22002}, {1, 0x09, 22003}, {0, 0x70, 22042}, {0, 0x73, 22000}, {0, 0x74, 22012},
    {0, 0x75, 22041}, {0, 0x7A, 22016},
};
static_assert(std::size(kIndexBindings) == 17);

// The commands sort modes are chosen by, in the order of their numbers.
constexpr SortMode kSortOfCommand[] = {SortMode::kFullPath, SortMode::kName, SortMode::kFileSize,
                                       SortMode::kFileDate, SortMode::kImageSize};

MenuIcon IconOf(uint16_t command) {
  switch (command) {
    case kIdxCreateNew: return MenuIcon::kNewWindow;
    case kIdxViewImage:
    case kIdxOpen: return MenuIcon::kOpen;
    case kIdxViewIndex: return MenuIcon::kFolder;
    case kIdxViewSlideshow:
    case kIdxSlideshow: return MenuIcon::kSlideshow;
    case kIdxCopyFiles: return MenuIcon::kCopy;
    case kIdxDeleteFiles:
    case kIdxEraseFiles: return MenuIcon::kDelete;
    case kIdxRecreate: return MenuIcon::kReload;
    case kIdxFreeze: return MenuIcon::kFreeze;
    case kIdxOptions: return MenuIcon::kOptions;
    case kIdxHelp: return MenuIcon::kHelp;
    case kIdxClose: return MenuIcon::kClose;
    default: return MenuIcon::kNone;
  }
}

}  // namespace

std::span<const KeyBinding> BuiltInIndexBindings() { return kIndexBindings; }

IndexAction* IndexActionSlot(uint32_t command) {
  static IndexAction copy, move, remove, erase, rename, bitmap, script, slideshow, view, edit, options;
  switch (command) {
    case kIdxCopyFiles: return &copy;
    case kIdxMoveFiles: return &move;
    case kIdxDeleteFiles: return &remove;
    case kIdxEraseFiles: return &erase;
    case kIdxRenameFiles: return &rename;
    case kIdxSaveAsBitmap: return &bitmap;
    case kIdxCreateSlideshow: return &script;
    case kIdxSlideshow: return &slideshow;
    case kIdxViewSlideshow: return &view;
    case kIdxEditSlideshow: return &edit;
    case kIdxOptions: return &options;
    default: return nullptr;
  }
}

bool IsIndexCommandAvailable(uint32_t command) {
  if (const IndexAction* action = IndexActionSlot(command)) return bool(*action);
  return command >= kIdxCreateNew && command <= kIdxClose;
}

MenuModel BuildIndexMenu(const IndexMenuState& s, const IndexMenuText& text) {
  MenuModel m;
  auto item = [&](MenuModel& into, uint16_t command) -> MenuEntry& {
    MenuEntry& e = into.AddItem(command, text.translate(IndexCommandName(command)), IconOf(command));
    e.accelerator = text.keysOf(command);
    e.enabled = IsIndexCommandAvailable(command);
    return e;
  };
  // Opening what is selected, worded for what it is.
  if (s.imageSelected) item(m, kIdxViewImage);
  if (s.folderSelected) item(m, kIdxViewIndex);
  if (s.scriptSelected) {
    item(m, kIdxViewSlideshow);
    item(m, kIdxEditSlideshow);
  }
  if (s.otherSelected) item(m, kIdxOpen);
  m.AddSeparator();
  if (s.anySelected) {
    for (uint16_t c : {kIdxCopyFiles, kIdxMoveFiles, kIdxRenameFiles, kIdxDeleteFiles, kIdxEraseFiles}) item(m, c);
    m.AddSeparator();
  }
  auto state = std::make_shared<IndexMenuState>(s);
  auto words = std::make_shared<IndexMenuText>(text);
  m.AddSubmenu(text.translate(u"排序方式"), [state, words](MenuModel& sub) {
    for (uint16_t c = kIdxSortFullPath; c <= kIdxSortImageSize; ++c) {
      if (c == kIdxSortFullPath && !state->recursive) continue;
      MenuEntry& e = sub.AddItem(c, words->translate(IndexCommandName(c)));
      e.accelerator = words->keysOf(c);
      e.checked = kSortOfCommand[c - kIdxSortFullPath] == state->sort;
    }
  });
  m.AddSubmenu(text.translate(u"显示"), [state, words](MenuModel& sub) {
    const IndexLayoutOptions& o = state->layout;
    auto toggle = [&](uint16_t c, bool on) { sub.AddItem(c, words->translate(IndexCommandName(c))).checked = on; };
    toggle(kIdxShowFolders, o.showFolders);
    toggle(kIdxShowNonImages, o.showNonImages);
    sub.AddSeparator();
    for (uint16_t c = kIdxNameLines1; c <= kIdxNameLines4; ++c) toggle(c, o.nameLines == int32_t(c - kIdxNameLines1 + 1));
    toggle(kIdxShowExtension, o.extension);
    sub.AddSeparator();
    toggle(kIdxShowResolution, o.resolution);
    toggle(kIdxShowFileSize, o.fileSize);
    toggle(kIdxShowFileDate, o.fileDate);
    toggle(kIdxShowComment, o.comment);
  });
  item(m, kIdxRecursive).checked = s.recursive;
  item(m, kIdxRecreate);
  if (!s.recursive) {
    if (!s.cacheValid) item(m, kIdxSaveCache);
    if (s.cacheValid && s.cacheOutOfDate) item(m, kIdxUpdateCache);
    if (s.cacheValid || s.cacheFileExists) item(m, kIdxRemoveCache);
  }
  item(m, kIdxSaveAsBitmap);
  m.AddSeparator();
  m.AddSubmenu(text.translate(u"幻灯片"), [state, words](MenuModel& sub) {
    for (uint16_t c : {kIdxSlideshow, kIdxCreateSlideshow, kIdxSlideshowFullScreen}) {
      MenuEntry& e = sub.AddItem(c, words->translate(IndexCommandName(c)), IconOf(c));
      e.accelerator = words->keysOf(c);
      e.enabled = IsIndexCommandAvailable(c);
      e.checked = c == kIdxSlideshowFullScreen && state->slideshowFullScreen;
    }
  }, MenuIcon::kSlideshow);
  m.AddSeparator();
  item(m, kIdxCreateNew);
  if (!s.maximized) item(m, kIdxFreeze).checked = s.frozen;
  item(m, kIdxOptions);
  item(m, kIdxHelp);
  item(m, kIdxClose);
  m.TrimSeparators();
  return m;
}

void IndexWindow::ShowContextMenu(bool byKeyboard) {
  if (destroyed_ || menuOpen_ || !Window()) return;
  IndexMenuState s;
  for (const auto& item : items_) {
    if (!item->selected) continue;
    s.anySelected = true;
    s.imageSelected |= item->kind == ItemKind::kImage || item->kind == ItemKind::kUnexamined;
    s.folderSelected |= item->kind == ItemKind::kFolder;
    s.scriptSelected |= item->kind == ItemKind::kScript;
    s.otherSelected |= item->kind == ItemKind::kOther;
  }
  const OptionsBlock& o = Options();
  s.recursive = recursive_;
  s.maximized = Window()->State() == ShowState::kMaximized;
  s.frozen = o.indexFrozen != 0;
  s.slideshowFullScreen = o.slideshowFullScreen != 0;
  s.cacheValid = cache_.IsValid();
  s.cacheOutOfDate = cache_.IsOutOfDate();
  s.cacheFileExists = PathExists(cache_.Path());
  s.sort = SortMode(o.indexSortOrder);
  s.layout = IndexLayoutOptions::From(o);
  Platform& os = app_.Os();
  IndexMenuText text;
  text.translate = [this](std::u16string_view t) { return app_.Translate(t); };
  text.keysOf = [this, &os](uint16_t command) {
    return CommandKeysName(keys_, command, [&os](uint32_t vk) { return os.KeyName(vk); });
  };
  PopupMenu menu(PopupKind::kContextMenu, this, nullptr, Window()->Monitor().dpi);
  menu.Build(BuildIndexMenu(s, text));
  const ViewPoint at = os.CursorPosition();
  if (!menu.Open({at.x, at.y, at.x + 1, at.y + 1}, byKeyboard)) return;
  menuOpen_ = true;
  ++commandNesting_;
  app_.BeginModal();
  const uint16_t command = RunModalMenu(menu, true);
  app_.EndModal();
  --commandNesting_;
  menuOpen_ = false;
  if (command != 0 && !destroyed_) Dispatch(command);
}

void IndexWindow::Dispatch(uint32_t command) {
  if (destroyed_ || command < kIdxCreateNew || command > kIdxClose) return;
  if (!IsIndexCommandAvailable(command)) {
    // Said out loud rather than silently ignored.
    app_.Os().Beep();
    return;
  }
  ++commandNesting_;
  RunCommand(command);
  --commandNesting_;
}

void IndexWindow::RunCommand(uint32_t command) {
  OptionsBlock& o = Options();
  auto relayout = [this] {
    layout_ = [&] {
      IndexLayoutOptions next = IndexLayoutOptions::From(Options());
      next.boxWidth = layout_.boxWidth, next.boxHeight = layout_.boxHeight;
      return next;
    }();
    Relayout();
    Invalidate();
  };
  auto flip = [](uint8_t& v) { v = v ? 0 : 1; };
  switch (command) {
    case kIdxCreateNew: app_.OpenWindow(std::nullopt, nullptr, nullptr); return;
    case kIdxRecursive:
      recursive_ = !recursive_;
      Rescan(true);
      return;
    case kIdxNextWindow:
    case kIdxPreviousWindow: {
      const std::vector<ToolkitWindow*> all = app_.AllWindows();
      const auto it = std::find(all.begin(), all.end(), this);
      if (all.size() < 2 || it == all.end()) return;
      size_t i = size_t(it - all.begin());
      i = command == kIdxNextWindow ? (i + 1) % all.size() : (i + all.size() - 1) % all.size();
      all[i]->Window()->BringToFront();
      return;
    }
    case kIdxViewImage:
    case kIdxViewIndex:
    case kIdxOpen: OpenSelected(); return;
    case kIdxRescan: Rescan(false); return;
    case kIdxRecreate:
      cacheSizeFromFile_ = false;
      Rescan(true);
      return;
    case kIdxSaveCache:
    case kIdxUpdateCache: SaveCache(true); return;
    case kIdxRemoveCache:
      if (recursive_) {
        app_.Os().ShowMessageBox(Window(), app_.Translate(u"无法创建缓存文件!"), u"Vistrel", MessageBoxKind::kError);
        return;
      }
      worker_.WaitForSaves();
      cache_.Remove();
      cacheSizeFromFile_ = false;
      return;
    case kIdxToggleMaximized: ToggleMaximized(); return;
    case kIdxFreeze:
      flip(o.indexFrozen);
      if (o.indexFrozen) {
        StoreFrozenPlacement();
      } else {
        o.indexWindowWidth = o.indexWindowHeight = 0;
      }
      return;
    case kIdxSlideshowFullScreen: flip(o.slideshowFullScreen); return;
    case kIdxSortFullPath:
    case kIdxSortName:
    case kIdxSortFileSize:
    case kIdxSortFileDate:
    case kIdxSortImageSize:
      o.indexSortOrder = uint8_t(kSortOfCommand[command - kIdxSortFullPath]);
      SortIndexItems(items_, SortMode(o.indexSortOrder));
      relayout();
      return;
    case kIdxShowFolders: flip(o.indexShowFolders); relayout(); return;
    case kIdxShowNonImages: flip(o.indexShowNonImages); relayout(); return;
    case kIdxNameLines1:
    case kIdxNameLines1 + 1:
    case kIdxNameLines1 + 2:
    case kIdxNameLines4: {
      const uint8_t lines = uint8_t(command - kIdxNameLines1 + 1);
      o.indexNameLines = o.indexNameLines == lines ? 0 : lines;
      relayout();
      return;
    }
    case kIdxShowResolution: flip(o.indexShowResolution); relayout(); return;
    case kIdxShowExtension: flip(o.indexShowExtension); relayout(); return;
    case kIdxShowFileSize: flip(o.indexShowFileSize); relayout(); return;
    case kIdxShowFileDate: flip(o.indexShowFileDate); relayout(); return;
    case kIdxShowComment: flip(o.indexShowComment); relayout(); return;
    case kIdxHelp: {
      const std::u16string help = app_.AppSettings().ProgramFolder() + u"Vistrel.chm";
      if (!PathExists(help) || !app_.Os().OpenWithShell(help)) app_.Os().Beep();
      return;
    }
    case kIdxCloseAll:
      for (ToolkitWindow* w : app_.AllWindows()) w->Window()->PostCloseRequest();
      return;
    case kIdxClose: Window()->Destroy(); return;
    default:
      if (IndexAction* action = IndexActionSlot(command); action && *action) {
        const std::vector<IndexItem*> selection = Selection();
        (*action)(*this, selection);
        return;
      }
      app_.Os().Beep();
      return;
  }
}

void IndexWindow::ToggleMaximized() {
  PlatformWindow* w = Window();
  w->Show(w->State() == ShowState::kMaximized ? ShowState::kNormal : ShowState::kMaximized, true);
}

void IndexWindow::OpenItem(IndexItem& item) {
  if (item.path == kPathTooLongText) {
    app_.Os().Beep();
    return;
  }
  // A shortcut opens what it points to.
  const std::u16string path = item.target.empty() ? item.path : item.target;
  if (item.kind == ItemKind::kFolder) {
    ShowFolder(item.Name() == u".." ? ParentFolder(folder_) : path);
    return;
  }
  if (item.kind == ItemKind::kImage || item.kind == ItemKind::kUnexamined) {
    app_.OpenWindow(path, nullptr, nullptr);
  } else if (item.kind == ItemKind::kScript) {
    // Scripts play in a viewer window, through the slideshow's action.
    IndexAction* play = IndexActionSlot(kIdxViewSlideshow);
    if (!*play) {
      app_.Os().Beep();
      return;
    }
    IndexItem* const one[] = {&item};
    (*play)(*this, one);
  } else if (!app_.Os().OpenWithShell(path)) {
    app_.Os().Beep();
    return;
  }
  if (Options().indexCloseOnOpen && Window()) Window()->SetTimer(kCloseTimer, kCloseDelay);
}

std::vector<IndexItem*> IndexWindow::Selection() const {
  std::vector<IndexItem*> selection;
  for (const auto& item : items_)
    if (item->selected) selection.push_back(item.get());
  return selection;
}

void IndexWindow::OpenSelected() {
  std::vector<IndexItem*> files;
  IndexItem* folder = nullptr;
  for (auto& item : items_) {
    if (!item->selected) continue;
    if (item->kind == ItemKind::kFolder) {
      if (!folder) folder = item.get();
    } else {
      files.push_back(item.get());
    }
  }
  for (IndexItem* f : files) {
    if (destroyed_) return;
    OpenItem(*f);
  }
  if (folder && !destroyed_) OpenItem(*folder);
}

}  // namespace vt
