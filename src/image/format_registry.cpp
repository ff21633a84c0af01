#include "image/format_registry.h"

#include <algorithm>

#include "base/text.h"

namespace vt {

namespace {

// Case-insensitive three-way compare, on the lower-cased UTF-16 units.
int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = AsciiLower(a[i]), y = AsciiLower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SortsAfter(const FormatRecord* entry, const FormatRecord* record) {
  int c = CompareNoCase(entry->extension, record->extension);
  if (c == 0) c = CompareNoCase(entry->description, record->description);
  return c > 0;
}

// At most this many characters of an extension are looked at; longer ones never
// match a registered format.
constexpr size_t kMaxExtensionChars = 5;

}  // namespace

void FormatRegistry::Register(const FormatRecord* record) {
  if (!record) return;
  if (records_.size() == records_.capacity()) records_.reserve(records_.size() + 32);
  auto it = std::find_if(records_.begin(), records_.end(),
                         [record](const FormatRecord* e) { return SortsAfter(e, record); });
  records_.insert(it, record);
  probeOrder_.resize(records_.size());
  for (size_t i = 0; i < probeOrder_.size(); ++i) probeOrder_[i] = i;
  std::stable_sort(probeOrder_.begin(), probeOrder_.end(), [this](size_t a, size_t b) {
    return records_[a]->priority < records_[b]->priority;
  });
}

int FormatRegistry::LookupByExtension(std::u16string_view name) const {
  // Only the file name counts: a dot in a folder name is no extension.
  size_t slash = name.find_last_of(u"\\/");
  if (slash != std::u16string_view::npos) name = name.substr(slash + 1);
  size_t dot = name.rfind(u'.');
  std::u16string_view ext = dot == std::u16string_view::npos ? name : name.substr(dot + 1);
  // A name like "archive.tar.gz" is looked up by "gz"; "x.abcdef" has six
  // characters, more than any format's extension, and finds nothing.
  if (ext.empty() || ext.size() > kMaxExtensionChars) return -1;
  std::u16string lower = AsciiLower(ext);
  // The system's own files (".vta", ".vti", ".vts") are never images.
  if (lower.size() == 3 && lower[0] == u'v' && lower[1] == u't') return -1;
  for (size_t i = 0; i < records_.size(); ++i) {
    const FormatRecord* r = records_[i];
    if (!r->create) continue;
    if (r->extension == lower) return static_cast<int>(i);
  }
  return -1;
}

int FormatRegistry::Enumerate(int from) const {
  for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < records_.size(); ++i) {
    if (records_[i]->create) return static_cast<int>(i);
  }
  return -1;
}

int FormatRegistry::ChooseReader(const FileSource& source, bool probeAll) const {
  if (source.Size() == 0 || !source.Data()) return -1;
  int byName = LookupByExtension(source.Path());
  if (byName >= 0) {
    const FormatRecord* r = records_[byName];
    if (r->probe && Succeeded(r->probe(source))) return byName;
  }
  if (!probeAll) return -1;
  for (const size_t i : probeOrder_) {
    const FormatRecord* r = records_[i];
    if (static_cast<int>(i) == byName || !r->create || !r->probe) continue;
    // Records of the reader already tried by name share its probe; asking again
    // would give the same answer.
    if (byName >= 0 && r->probe == records_[byName]->probe) continue;
    if (Succeeded(r->probe(source))) return static_cast<int>(i);
  }
  return -1;
}

Status FormatRegistry::OpenReader(const std::u16string& path, RefPtr<ImageReader>* out,
                                  uint32_t openFlags) const {
  out->reset();
  RefPtr<FileSource> source;
  if (Failed(OpenFileSource(path, &source))) return status::kCannotOpenFile;
  return OpenReader(source.get(), out, openFlags);
}

Status FormatRegistry::OpenReader(FileSource* source, RefPtr<ImageReader>* out,
                                  uint32_t openFlags) const {
  out->reset();
  if (!source || source->Size() == 0) return status::kCannotOpenFile;
  int index = ChooseReader(*source, true);
  if (index < 0) return status::kUnknownFormat;
  const FormatRecord* record = records_[index];
  RefPtr<ImageReader> reader = record->create(source, record);
  if (!reader) return status::kOutOfMemory;
  Status s = reader->Open(openFlags);
  if (Failed(s)) return s;
  *out = std::move(reader);
  return s;
}

FormatRegistry& GlobalFormatRegistry() {
  static FormatRegistry registry;
  return registry;
}

Status LoadImageFile(const FormatRegistry& registry, const std::u16string& path, bool allFrames,
                 bool display, RefPtr<ImageBuffer>* out, ProgressSink* progress,
                 const CancelFlag* cancel) {
  out->reset();
  RefPtr<ImageReader> reader;
  Status s = registry.OpenReader(path, &reader);
  if (Failed(s)) return s;
  // Display buffers exist for the 8-bit formats only; deeper images are decoded
  // into memory buffers so no precision is lost before the view decides.
  const bool useDisplay = display && IsDisplayFormat(reader->OutputFormat());
  RefPtr<ImageBuffer> image;
  s = MakeTargetBuffer(reader.get(), &image, useDisplay, false);
  if (Failed(s)) return s;
  s = reader->DecodeInto(image.get(), allFrames, progress, cancel);
  if (Failed(s)) return s;
  *out = std::move(image);
  return s;
}

}  // namespace vt
