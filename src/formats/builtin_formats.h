#pragma once
#include <span>
#include <string>

#include "image/format_registry.h"

namespace vt {

// The probe and create functions one reader provides for all of its records.
struct ReaderEntry {
  ProbeFunction probe = nullptr;
  CreateReaderFunction create = nullptr;
  ProbePriority priority = ProbePriority::kSignature;
};

// One reader's group of format records.
struct FormatGroup {
  const char* name;
  std::span<FormatRecord> records;
};

// Registers every built-in format in start-up order (bitmaps, DirectDraw
// surfaces, FITS, GIF, Radiance, icons and cursors, IFF, JPEG, PC Paintbrush,
// PNG, PhotoShop, TARGA, TIFF, WebP); the registry sorts them. Each reader's
// records carry its functions once that reader is built in.
void RegisterBuiltinFormats(FormatRegistry& registry);

// The run-time library a built-in reader needs and could not load, as the
// path it is looked for at (what a reader's "missing DLL" status is about);
// empty when none is missing.
std::u16string MissingLibraryPath();

// The groups in registration order, for tests and tools.
std::span<const FormatGroup> BuiltinFormatGroups();

}  // namespace vt
