#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ref_counted.h"
#include "base/status.h"
#include "image/file_source.h"
#include "image/image_reader.h"

namespace vt {

struct FormatRecord;
// Reads only the mapped bytes: kOk for its format, kUnknownFormat when not,
// kUnsupportedSubformat for a variant it cannot read.
using ProbeFunction = Status (*)(const FileSource& source);
using CreateReaderFunction = RefPtr<ImageReader> (*)(FileSource* source,
                                                     const FormatRecord* record);

// When probing asks a reader, among readers not named by the extension. A
// probe that only judges whether header values are plausible can accept
// another format's file, so long fixed signatures go first and such probes
// last; readers of equal priority are asked in registry order.
enum class ProbePriority : uint8_t {
  kSignature = 0,       // several fixed bytes at a fixed place
  kShortSignature = 1,  // two fixed bytes and a plausible header after them
  kPlausibility = 2,    // no real signature: header values, the file name
};

// One per extension. All records of one reader share its two functions.
struct FormatRecord {
  std::u16string_view extension;  // lower case, no dot
  std::u16string_view description;
  ProbeFunction probe = nullptr;
  CreateReaderFunction create = nullptr;
  ProbePriority priority = ProbePriority::kSignature;
};

// The sorted table of formats: by extension, then description, both without
// regard to case. Records without a create function are skipped by every lookup.
class FormatRegistry {
 public:
  void Register(const FormatRecord* record);
  size_t Count() const { return records_.size(); }
  const FormatRecord* At(size_t index) const { return records_[index]; }

  // The registry index of the name's extension, or -1.
  int LookupByExtension(std::u16string_view fileName) const;
  // The first index at or after from with a reader, or -1.
  int Enumerate(int from) const;
  // The reader for a file: by extension first, then (with probeAll) by probing
  // every other format by probe priority. -1 when none accepts it.
  int ChooseReader(const FileSource& source, bool probeAll) const;
  // Maps the file, chooses and creates its reader and opens it.
  Status OpenReader(const std::u16string& path, RefPtr<ImageReader>* out,
                    uint32_t openFlags = 0) const;
  // The same for bytes already in a source.
  Status OpenReader(FileSource* source, RefPtr<ImageReader>* out, uint32_t openFlags = 0) const;

 private:
  std::vector<const FormatRecord*> records_;
  // Registry indices in the order probing asks them.
  std::vector<size_t> probeOrder_;
};

// The process's registry, filled once at start-up by RegisterBuiltinFormats.
FormatRegistry& GlobalFormatRegistry();

// Loads a whole file through the pipeline: open the reader, make the target
// buffer (display formats when display is set), decode all frames or the first.
Status LoadImageFile(const FormatRegistry& registry, const std::u16string& path, bool allFrames,
                 bool display, RefPtr<ImageBuffer>* out, ProgressSink* progress = nullptr,
                 const CancelFlag* cancel = nullptr);

}  // namespace vt
