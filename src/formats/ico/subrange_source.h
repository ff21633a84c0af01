#pragma once
// A window onto part of another file's bytes, so that a reader can parse an
// image embedded in a container (a PNG inside an icon) without a copy.
#include <cstddef>

#include "image/file_source.h"

namespace vt {

// The bytes [offset, offset + size) of parent, clipped to the parent's end.
// Keeps a reference to parent; path and time are the parent's.
RefPtr<FileSource> MakeSubrangeSource(FileSource* parent, size_t offset, size_t size);

}  // namespace vt
