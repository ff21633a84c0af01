#pragma once
#include <span>

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

// The groups in registration order, for tests and tools.
std::span<const FormatGroup> BuiltinFormatGroups();

}  // namespace vt
