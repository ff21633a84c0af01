#pragma once
// Reader for DirectDraw surfaces: uncompressed surfaces described by bit masks
// and the block-compressed DXT1 to DXT5 formats. Only the top mipmap level of
// the first surface is shown.
#include <cstdint>

#include "image/format_registry.h"

namespace vt {

// kOk for a file of at least 128 bytes that starts "DDS ", else kUnknownFormat.
Status ProbeDds(const FileSource& source);
RefPtr<ImageReader> CreateDdsReader(FileSource* source, const FormatRecord* record);

// One 4 x 4 block into 16 blue-green-red-alpha pixels, rows top to bottom.
// Exposed for tests. DXT2/DXT3 blocks are 16 bytes of explicit 4-bit alpha
// followed by a colour block, DXT4/DXT5 two alpha end points with 3-bit
// indices followed by a colour block, DXT1 a colour block alone (8 bytes).
enum class DdsBlockKind : uint8_t { Dxt1, ExplicitAlpha, InterpolatedAlpha };
void DecodeDdsBlock(DdsBlockKind kind, const uint8_t* block, uint32_t out[16]);

}  // namespace vt
