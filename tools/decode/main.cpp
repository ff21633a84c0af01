// vistrel-decode: decodes an image file through the viewer's own load pipeline,
// describes its frames and optionally writes one frame as a PAM file. Used by
// tests, benchmarks and people chasing a decoding problem.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "base/tasks.h"
#include "base/text.h"
#include "pam_writer.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "image/image_buffer.h"
#include "image/image_properties.h"
#include "image/pixel_format.h"
#include "render/adjustment_file.h"
#include "render/frame_step.h"
#include "render/render_view.h"
#include "render/scale.h"
#include "render/view_state.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vt {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char kUsage[] =
    "usage: vistrel-decode [options] FILE [OUT.pam]\n"
    "  Decodes FILE with all its frames and prints one line per frame.\n"
    "  With OUT.pam, writes one frame as a PAM file in the decoded precision.\n"
    "options:\n"
    "  --info        also print the first frame's properties\n"
    "  --frame N     the frame to write (default 0)\n"
    "  --view        write the image as the viewer shows it at zoom 1: frames\n"
    "                composed on the animation's canvas (--frame N: after N\n"
    "                steps), turned upright by its orientation and adjusted by\n"
    "                the adjustment file beside it (FILE.vta)\n"
    "  --bgra8       convert to Bgra8 as the viewer does before writing\n"
    "  --resize WxH  scale the frame to W x H in its decoded format before writing\n"
    "  --time N      decode N times and print the median time (writes nothing);\n"
    "                with --resize, the scaling time separately\n"
    "  --threads N   threads for parallel decoding and conversion\n"
    "  --help        show this text\n";

void Out(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }
void Err(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stderr); }

struct ToolOptions {
  bool info = false;
  bool bgra8 = false;
  bool view = false;
  uint32_t frame = 0;
  uint32_t timeRuns = 0;  // 0: no timing
  std::optional<uint32_t> threads;
  uint32_t resizeWidth = 0;  // 0: no resizing
  uint32_t resizeHeight = 0;
  std::u16string file;
  std::optional<std::u16string> out;
};

// A whole decimal number of at most max; anything else is a usage error.
std::optional<uint32_t> ParseCount(const std::u16string& text, uint32_t min, uint32_t max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    v = v * 10 + (c - u'0');
  }
  if (v < min || v > max) return std::nullopt;
  return static_cast<uint32_t>(v);
}

// Nothing on a usage error (after saying what was wrong).
std::optional<ToolOptions> ParseArguments(const std::vector<std::u16string>& args, bool* help) {
  ToolOptions o;
  std::vector<std::u16string> positional;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != u'-') {
      positional.push_back(a);
      continue;
    }
    auto value = [&](uint32_t min, uint32_t max) -> std::optional<uint32_t> {
      if (i + 1 >= args.size()) {
        Err("vistrel-decode: " + Utf16ToUtf8(a) + " needs a number\n");
        return std::nullopt;
      }
      std::optional<uint32_t> v = ParseCount(args[++i], min, max);
      if (!v)
        Err("vistrel-decode: " + Utf16ToUtf8(a) + ": bad number '" + Utf16ToUtf8(args[i]) +
            "'\n");
      return v;
    };
    if (a == u"--") {
      optionsEnded = true;
    } else if (a == u"--help" || a == u"-h") {
      *help = true;
      return std::nullopt;
    } else if (a == u"--info") {
      o.info = true;
    } else if (a == u"--bgra8") {
      o.bgra8 = true;
    } else if (a == u"--view") {
      o.view = true;
    } else if (a == u"--frame") {
      std::optional<uint32_t> v = value(0, UINT32_MAX);
      if (!v) return std::nullopt;
      o.frame = *v;
    } else if (a == u"--time") {
      std::optional<uint32_t> v = value(1, 1000000);
      if (!v) return std::nullopt;
      o.timeRuns = *v;
    } else if (a == u"--resize") {
      const std::u16string text = i + 1 < args.size() ? args[++i] : std::u16string();
      const size_t x = text.find_first_of(u"xX");
      std::optional<uint32_t> w, h;
      if (x != std::u16string::npos) {
        w = ParseCount(text.substr(0, x), 1, 1000000);
        h = ParseCount(text.substr(x + 1), 1, 1000000);
      }
      if (!w || !h) {
        Err("vistrel-decode: --resize needs WIDTHxHEIGHT, got '" + Utf16ToUtf8(text) + "'\n");
        return std::nullopt;
      }
      o.resizeWidth = *w;
      o.resizeHeight = *h;
    } else if (a == u"--threads") {
      std::optional<uint32_t> v = value(1, 1024);
      if (!v) return std::nullopt;
      o.threads = *v;
    } else {
      Err("vistrel-decode: unknown option " + Utf16ToUtf8(a) + "\n");
      return std::nullopt;
    }
  }
  if (positional.empty() || positional.size() > 2) {
    Err(positional.empty() ? "vistrel-decode: no file given\n"
                           : "vistrel-decode: too many files given\n");
    return std::nullopt;
  }
  o.file = positional[0];
  if (positional.size() == 2) o.out = positional[1];
  if (o.view && (!o.out || o.timeRuns || o.resizeWidth)) {
    Err("vistrel-decode: --view writes the shown image: give an output file, no --time or --resize\n");
    return std::nullopt;
  }
  if (o.timeRuns && o.out) {
    Err("vistrel-decode: --time writes nothing; leave out the output file\n");
    return std::nullopt;
  }
  return o;
}

int Fail(const std::u16string& what, Status code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08" PRIX32, static_cast<uint32_t>(code));
  Err("vistrel-decode: " + Utf16ToUtf8(what) + ": " + hex + " " + Utf16ToUtf8(StatusText(code)) +
      "\n");
  return kExitFailed;
}

std::string FrameLine(uint32_t index, const ImageBuffer& f) {
  const FrameDescription& d = f.Frame();
  char line[512];
  std::snprintf(line, sizeof line,
                "frame %" PRIu32 ": %" PRIu32 "x%" PRIu32 " %.*s alpha=%u canvas=%" PRIu32
                "x%" PRIu32 " offset=%" PRIu32 ",%" PRIu32 " delay=%" PRId32
                " disposal=%u blend=%u loop=%u\n",
                index, f.Width(), f.Height(), static_cast<int>(PixelFormatName(f.Format()).size()),
                PixelFormatName(f.Format()).data(), static_cast<unsigned>(f.Alpha()),
                d.canvasWidth, d.canvasHeight, d.x, d.y, d.delay,
                static_cast<unsigned>(d.disposal), static_cast<unsigned>(d.blend),
                static_cast<unsigned>(d.loop));
  return line;
}

void PrintProperties(ImageBuffer* image) {
  ImageProperties& props = image->Properties();
  for (int i = 0; i < kPropertyCount; ++i) {
    const PropertyId id = static_cast<PropertyId>(i);
    const std::u16string* text = props.Get(id);
    if (!text || text->empty()) continue;
    Out("property " + std::to_string(i) + " " + Utf16ToUtf8(PropertyLabel(id)) + ": " +
        Utf16ToUtf8(*text) + "\n");
  }
}

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const size_t n = ms.size();
  return n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
}

// A new buffer of the given size in the frame's own format, filled by Scale.
Status ScaleFrame(ImageBuffer* frame, const ToolOptions& o, RefPtr<ImageBuffer>* out) {
  RefPtr<ImageBuffer> t = ImageBuffer::Create(frame->Format(), o.resizeWidth, o.resizeHeight);
  if (!t) return status::kOutOfMemory;
  const Status s = Scale(t.get(), frame, 0, nullptr);
  if (Failed(s)) return s;
  t->SetAlpha(frame->Alpha());
  *out = std::move(t);
  return status::kOk;
}

int Time(const FormatRegistry& registry, const ToolOptions& o) {
  std::vector<double> ms, scaleMs;
  ms.reserve(o.timeRuns);
  RefPtr<ImageBuffer> image, scaled;
  for (uint32_t run = 0; run < o.timeRuns; ++run) {
    image = nullptr;  // the previous result must not share memory with this run
    scaled = nullptr;
    const auto start = std::chrono::steady_clock::now();
    const Status s = LoadImageFile(registry, o.file, true, false, &image);
    const auto end = std::chrono::steady_clock::now();
    if (Failed(s)) return Fail(o.file, s);
    if (!image) return Fail(o.file, status::kGeneralFailure);
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    if (o.resizeWidth) {
      const auto scaleStart = std::chrono::steady_clock::now();
      const Status r = ScaleFrame(image.get(), o, &scaled);
      const auto scaleEnd = std::chrono::steady_clock::now();
      if (Failed(r)) return Fail(o.file, r);
      scaleMs.push_back(std::chrono::duration<double, std::milli>(scaleEnd - scaleStart).count());
    }
  }
  const size_t n = ms.size();
  const double median = Median(ms);
  const double megapixels = double(image->Width()) * image->Height() / 1e6;
  char line[160];
  std::snprintf(line, sizeof line, "time: %.3f ms median of %zu, %.1f MP/s\n", median, n,
                median > 0 ? megapixels / (median / 1000.0) : 0.0);
  Out(line);
  if (o.resizeWidth) {
    // Throughput in source pixels, the figure that compares across target sizes.
    const double scaleMedian = Median(scaleMs);
    std::snprintf(line, sizeof line,
                  "scale: %.3f ms median of %zu, %" PRIu32 "x%" PRIu32 ", %.1f MP/s of source\n",
                  scaleMedian, n, o.resizeWidth, o.resizeHeight,
                  scaleMedian > 0 ? megapixels / (scaleMedian / 1000.0) : 0.0);
    Out(line);
  }
  return kExitOk;
}

// The image as a viewer window shows it at zoom 1, through the viewer's own
// view: composition, orientation and the adjustment file.
int WriteView(RefPtr<ImageBuffer> image, const ToolOptions& o) {
  ViewFlags flags;
  flags.keepTransparency = true;
  ViewState view(std::move(image), flags);
  LoadAdjustments(view, o.file);
  for (uint32_t step = 0; step < o.frame; ++step) {
    if (!StepFrame(view, FrameDirection::kNext)) {
      Err("vistrel-decode: the view cannot step on after " + std::to_string(step) + " step(s)\n");
      return Fail(o.file, status::kInvalidArgument);
    }
  }
  RenderView(view);
  ImageBuffer* shown = view.ShownImage();
  if (!shown) return Fail(o.file, status::kGeneralFailure);
  RefPtr<ImageBuffer> toWrite(shown);
  if (o.bgra8 && shown->Format() != PixelFormat::Bgra8) {
    toWrite = Convert(shown, PixelFormat::Bgra8, false, false);
    if (!toWrite) return Fail(o.file, status::kOutOfMemory);
  }
  const Status w = WritePamFile(toWrite.get(), *o.out, o.bgra8);
  if (Failed(w)) return Fail(*o.out, w);
  return kExitOk;
}

int Run(const std::vector<std::u16string>& args) {
  bool help = false;
  const std::optional<ToolOptions> parsed = ParseArguments(args, &help);
  if (help) {
    Out(kUsage);
    return kExitOk;
  }
  if (!parsed) {
    Err(kUsage);
    return kExitUsage;
  }
  const ToolOptions& o = *parsed;

  SetParallelThreadCount(o.threads ? *o.threads
                                   : std::max(1u, std::thread::hardware_concurrency()));
  FormatRegistry& registry = GlobalFormatRegistry();
  RegisterBuiltinFormats(registry);
  InstallPipelineScaler();

  if (o.timeRuns) return Time(registry, o);

  RefPtr<ImageBuffer> image;
  const Status s = LoadImageFile(registry, o.file, true, false, &image);
  if (Failed(s)) return Fail(o.file, s);
  if (!image) return Fail(o.file, status::kGeneralFailure);

  uint32_t index = 0;
  ImageBuffer* chosen = nullptr;
  for (ImageBuffer* f = image.get(); f; f = f->Next(), ++index) {
    Out(FrameLine(index, *f));
    if (index == o.frame) chosen = f;
  }
  if (o.info) PrintProperties(image.get());
  std::fflush(stdout);

  if (!o.out) return kExitOk;
  if (o.view) return WriteView(std::move(image), o);
  if (!chosen) {
    Err("vistrel-decode: the image has " + std::to_string(index) + " frame(s), no frame " +
        std::to_string(o.frame) + "\n");
    return Fail(o.file, status::kInvalidArgument);
  }
  RefPtr<ImageBuffer> toWrite(chosen);
  if (o.resizeWidth) {
    const Status r = ScaleFrame(chosen, o, &toWrite);
    if (Failed(r)) return Fail(o.file, r);
  }
  if (o.bgra8) {
    toWrite = Convert(toWrite.get(), PixelFormat::Bgra8, false, false);
    if (!toWrite) return Fail(o.file, status::kGeneralFailure);
  }
  const Status w = WritePamFile(toWrite.get(), *o.out, o.bgra8);
  if (Failed(w)) return Fail(*o.out, w);
  return kExitOk;
}

}  // namespace
}  // namespace vt

#ifdef _WIN32
// The wide entry point keeps paths that the ANSI code page cannot spell.
int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    const wchar_t* a = argv[i];
    std::u16string s;
    for (; *a; ++a) s.push_back(static_cast<char16_t>(*a));
    args.push_back(std::move(s));
  }
  return vt::Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(vt::Utf8ToUtf16(argv[i]));
  return vt::Run(args);
}
#endif
