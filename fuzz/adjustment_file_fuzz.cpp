// Arbitrary bytes as an adjustment file: whatever is read stays inside the
// ranges the dialog can set, and writing the record back reads the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "render/adjustment_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::AdjustmentRecord record;
  vt::ParseAdjustmentFile({data, size}, &record);
  for (int i = 0; i < vt::kColourFieldCount; ++i) {
    const auto f = static_cast<vt::ColourField>(i);
    const float v = record.colour.Get(f);
    const vt::FieldRange r = vt::ColourFieldRange(f);
    if (!(v >= r.low && v <= r.high)) std::abort();
  }
  if (!(record.sharpness >= vt::kSharpnessRange.low && record.sharpness <= vt::kSharpnessRange.high)) std::abort();
  if (record.orientation > 15) std::abort();
  const std::vector<uint8_t> bytes = vt::AdjustmentFileBytes(record, 0);
  vt::AdjustmentRecord again;
  vt::ParseAdjustmentFile(bytes, &again);
  if (!(again == record)) std::abort();
  return 0;
}
