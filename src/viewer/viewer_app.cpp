#include "viewer/viewer_app.h"

#include <algorithm>

#include "base/cpu_features.h"
#include "base/file_system.h"
#include "files/compare_names.h"
#include "files/navigate.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "index/index_window.h"
#include "ui/file_dialog.h"
#include "viewer/viewer_window.h"

namespace vt {

uint32_t CacheCapacityForWindows(uint32_t n) {
  const uint32_t c = n <= 1 ? ImageCache::kInitialCapacity : n <= 3 ? n + 4 : n + 5;
  return std::min(c, ImageCache::kMaxCapacity);
}

ViewerApp::ViewerApp(Platform& platform, Settings& settings, ImageCache& cache, Navigator& navigator)
    : platform_(platform), settings_(settings), cache_(cache), navigator_(navigator) {}

ViewerApp::~ViewerApp() {
  // Destroying a window hands it back through WindowDestroyed: work on a copy.
  auto open = std::move(windows_);
  windows_.clear();
  for (auto& w : open)
    if (w->Exists()) w->Window()->Destroy();
  open.clear();
  auto indexes = std::move(indexes_);
  indexes_.clear();
  for (auto& w : indexes)
    if (w->Exists()) w->Window()->Destroy();
  indexes.clear();
  Reap();
  hiddenOwner_.reset();
}

std::u16string ViewerApp::Translate(std::u16string_view text) const {
  if (const auto& d = settings_.Dictionary()) return std::u16string(d->Lookup(text));
  return std::u16string(text);
}

ViewerWindow* ViewerApp::OpenWindow(const std::optional<std::u16string>& file,
                                    const ArgumentList* arguments, const ViewerWindow* reference) {
  Reap();
  lastOpenFailed_ = false;
  ViewerOptions options;
  if (reference && reference->Window()) options.monitor = reference->Window()->Monitor();
  const WindowOptions keywords = arguments ? ParseWindowOptions(*arguments) : WindowOptions{};
  options.frozen = keywords.frozen;
  options.fullScreen = keywords.fullScreen;
  options.topmost = keywords.topmost;
  options.zoom = keywords.zoom;
  options.title = keywords.title;
  if (keywords.posX != kPositionNotGiven && keywords.posY != kPositionNotGiven)
    options.position = ViewPoint{keywords.posX, keywords.posY};
  else if (keywords.posX != kPositionNotGiven)
    options.position = ViewPoint{keywords.posX, 0};
  if (!options.monitor && options.position)
    options.monitor = platform_.MonitorNearest(
        {options.position->x, options.position->y, options.position->x + 1, options.position->y + 1});

  std::optional<std::u16string> path = file;
  if (!path || path->empty()) {
    const auto chosen = platform_.ShowOpenDialog(nullptr, Translate(u"打开图像文件") + u" | Vistrel",
                                                 OpenFilter(), true);
    if (chosen.empty()) {
      cache_.Join();
      return nullptr;
    }
    path = chosen.front();
    for (size_t i = 1; i < chosen.size(); ++i) OpenWindow(chosen[i], arguments, reference);
  }
  if (keywords.index) {
    lastOpenFailed_ = !OpenIndex(*path, options.monitor);
    return nullptr;
  }

  cache_.SetAllFrames(true);
  auto window = std::make_unique<ViewerWindow>(*this);
  ViewerWindow* raw = window.get();
  windows_.push_back(std::move(window));
  ++creating_;
  raw->Create(&*path, options);
  --creating_;
  const bool shown = raw->Exists() && raw->HasImage();
  lastOpenFailed_ = !shown;
  return shown ? raw : nullptr;
}

IndexWindow* ViewerApp::OpenIndex(const std::u16string& path, const std::optional<MonitorInfo>& monitor) {
  Reap();
  auto window = std::make_unique<IndexWindow>(*this);
  IndexWindow* raw = window.get();
  indexes_.push_back(std::move(window));
  ++creating_;
  const bool made = raw->Create(AbsolutePath(path), monitor);
  --creating_;
  if (!made) {
    indexes_.pop_back();
    QuitWhenNoWindows();
    return nullptr;
  }
  return raw->Exists() ? raw : nullptr;
}

bool ViewerApp::ReceiveHandOff(uint64_t tag, const void* data, size_t bytes) {
  const auto request = ReadHandOff(tag, data, bytes);
  if (!request) return false;
  OpenWindow(request->file, request->arguments.empty() ? nullptr : &request->arguments, nullptr);
  return true;
}

std::vector<ViewerWindow*> ViewerApp::Windows() const {
  std::vector<ViewerWindow*> out;
  for (const auto& w : windows_)
    if (w->Exists()) out.push_back(w.get());
  return out;
}

std::vector<IndexWindow*> ViewerApp::IndexWindows() const {
  std::vector<IndexWindow*> out;
  for (const auto& w : indexes_)
    if (w->Exists()) out.push_back(w.get());
  return out;
}

std::vector<ToolkitWindow*> ViewerApp::AllWindows() const {
  std::vector<ToolkitWindow*> out;
  for (ViewerWindow* w : Windows()) out.push_back(w);
  for (IndexWindow* w : IndexWindows()) out.push_back(w);
  return out;
}

void ViewerApp::Reap() {
  if (modal_ == 0) {
    closed_.clear();
    closedIndexes_.clear();
  }
}

void ViewerApp::QuitWhenNoWindows() {
  if (windows_.empty() && indexes_.empty() && creating_ == 0) platform_.Quit();
}

void ViewerApp::WindowCreating() {
  // Counted from the window being made: every open window and this one.
  const auto live = static_cast<uint32_t>(Windows().size());
  cache_.SetCapacity(CacheCapacityForWindows(live + 1));
}

void ViewerApp::WindowDestroyed(ViewerWindow* window) {
  auto it = std::find_if(windows_.begin(), windows_.end(), [&](auto& w) { return w.get() == window; });
  if (it != windows_.end()) {
    closed_.push_back(std::move(*it));
    windows_.erase(it);
  }
  QuitWhenNoWindows();
}

void ViewerApp::IndexWindowDestroyed(IndexWindow* window) {
  auto it = std::find_if(indexes_.begin(), indexes_.end(), [&](auto& w) { return w.get() == window; });
  if (it != indexes_.end()) {
    closedIndexes_.push_back(std::move(*it));
    indexes_.erase(it);
  }
  QuitWhenNoWindows();
}

uintptr_t ViewerApp::HiddenOwner() {
  if (!hiddenOwner_) {
    hiddenOwner_ = std::make_unique<ToolkitWindow>();
    WindowCreateParams params;
    params.title = u"";
    params.visible = false;
    params.frame = FrameStyle::kFrameless;
    params.clientSize = {1, 1};
    hiddenOwner_->CreateToolkitWindow(params);
  }
  return hiddenOwner_->Window() ? hiddenOwner_->Window()->NativeHandle() : 0;
}

std::vector<std::u16string> ViewerApp::OpenFilter() const {
  return ImageFileFilter(GlobalFormatRegistry(), [this](std::u16string_view t) { return Translate(t); });
}

RefPtr<ImageCache> BeginStartupLoad(std::u16string_view commandLine) {
  const StartupOptions startup = ScanStartupArguments(SplitCommandLine(commandLine));
  if (startup.close || !startup.file || startup.file->empty() || startup.file->front() == u'<') return nullptr;
  if (ParseWindowOptions(startup.arguments).index) return nullptr;
  GetCpuFeatures();
  FormatRegistry& formats = GlobalFormatRegistry();
  if (formats.Count() == 0) RegisterBuiltinFormats(formats);
  RefPtr<ImageCache> cache = RefPtr<ImageCache>::Adopt(new ImageCache(&formats, &GlobalNavigator()));
  // The viewer's loads chain every frame, and switching the cache over later
  // would throw this image away.
  cache->SetAllFrames(true);
  cache->ScheduleLoad(AbsolutePath(*startup.file), LoadMode::File, false);
  return cache;
}

int RunProgram(Platform& platform, const ProgramEnvironment& env) {
  SetCurrentPlatform(&platform);
  const StartupOptions startup = ScanStartupArguments(SplitCommandLine(env.commandLine));
  // A file named relative to this process's folder means nothing to a running
  // instance started elsewhere, and the folder steps need the file's folder.
  std::optional<std::u16string> file = startup.file;
  if (file && !file->empty() && file->front() != u'<') file = AbsolutePath(*file);

  if (startup.close || startup.singleInstanceOff) {
    for (uintptr_t w : platform.FindTopLevelWindows(u"Vistrel")) platform.SendCloseRequest(w);
    if (startup.close) return 0;
  } else {
    const auto running = platform.FindTopLevelWindows(u"Vistrel");
    if (!running.empty()) {
      const std::u16string payload = BuildHandOffPayload(file, startup.arguments);
      const std::vector<uint8_t> bytes = HandOffBytes(payload);
      if (platform.SendCopyData(running.front(), kHandOffTag, bytes)) return 0;
    }
  }

  SettingsEnvironment settingsEnv;
  settingsEnv.programPath = env.programPath;
  settingsEnv.builtInKeyBindings = [] { return BuiltInViewerBindingEntries(); };
  std::unique_ptr<SettingsStore> ownStore;
  SettingsStore* store = env.store;
  if (!store) {
    ownStore = CreateSystemSettingsStore(env.programPath);
    store = ownStore.get();
  }
  Settings settings(store, settingsEnv);
  settings.Load();
  // The user's policy decides how every folder of this process is ordered.
  SetNaturalFileOrder(settings.Options().plainNameOrder == 0);

  GetCpuFeatures();
  platform.AllowCopyDataFromLowerPrivilege();
  FormatRegistry& formats = GlobalFormatRegistry();
  if (formats.Count() == 0) RegisterBuiltinFormats(formats);

  if (file && file->find(u'~') != std::u16string::npos) file = platform.LongPathName(*file);

  RefPtr<ImageCache> cache =
      env.cache ? env.cache : RefPtr<ImageCache>::Adopt(new ImageCache(&formats, &GlobalNavigator()));
  bool startFailed = false;
  {
    ViewerApp app(platform, settings, *cache, GlobalNavigator());
    startFailed = !app.OpenWindow(file, &startup.arguments, nullptr) && app.LastOpenFailed();
    if (!app.AllWindows().empty()) platform.RunMessageLoop();
    app.Reap();
  }
  cache->Join();
  settings.Save();
  return startFailed ? 1 : 0;
}

}  // namespace vt
