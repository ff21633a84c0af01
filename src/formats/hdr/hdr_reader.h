#pragma once
// Reader for Radiance RGBE (and XYZE) high-dynamic-range pictures: the hdr, pic
// and img records of the format registry share these two functions.
#include <cstdint>
#include <span>

#include "base/byte_cursor.h"
#include "image/format_registry.h"

namespace vt {

// kOk for a file that begins "#?RADIANCE" or "#?RGBE", kUnknownFormat otherwise.
Status ProbeHdr(const FileSource& source);
RefPtr<ImageReader> CreateHdrReader(FileSource* source, const FormatRecord* record);

// One scanline of width RGBE pixels from in, either run-length coded per
// component or pixel by pixel with repeat pixels (1, 1, 1, count). previous is
// the pixel a leading repeat copies and is updated. False when the data end
// before the scanline is whole or a run overruns it; line is then partly written.
bool ReadHdrScanline(ByteCursor& in, uint8_t* line, uint32_t width, uint8_t previous[4]);

// Mantissas and shared exponent to linear values: (m + 0.5) * 2^(e - 136), all
// zero for e = 0. out receives the first, second and third component.
void RgbeToFloat(const uint8_t rgbe[4], float out[3]);

}  // namespace vt
