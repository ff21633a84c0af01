#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "render/adjustments.h"

namespace vt {

class ViewState;

// The adjustment file kept beside an image: the image's name with ".vta"
// appended, a little-endian RIFF file of form "VTIA" holding one "LADJ" chunk
// of entries (a four-character key and a 32-bit float each):
// "CCTR" contrast, "CBRI" brightness, "CHUE" hue, "CSAT" saturation, "CLUM"
// lightness, "CRED" "CGRN" "CBLU" the biases, "CGAM" gamma, "CINV" inversion
// (on from 0.5), "ISHA" sharpness, "IROT" the orientation code (rounded).

std::u16string AdjustmentFilePath(const std::u16string& imagePath);

// Reads the entries of a file's bytes into record (fields without an entry
// keep their values). A file of another form, or shorter than a chunk header,
// is ignored; the chunks are followed only as far as the file's size and its
// own size agree, and an entry whose value makes no sense (not a number, an
// orientation beyond the code's four bits) is passed over. Values beyond what
// the dialog can set are brought to its ranges. False when nothing was read.
bool ParseAdjustmentFile(std::span<const uint8_t> bytes, AdjustmentRecord* record);

// The file's bytes for record: only fields away from their defaults, in the
// order above, and "IROT" only when the orientation differs from
// imageOrientation (the one the image's own property gives). Empty when no
// field needs an entry.
std::vector<uint8_t> AdjustmentFileBytes(const AdjustmentRecord& record, uint8_t imageOrientation);

// The file beside imagePath, if it exists, read into record. False when
// there was none or nothing in it was used.
bool LoadAdjustmentFile(const std::u16string& imagePath, AdjustmentRecord* record);
// Writes the file beside imagePath, or deletes it when no field needs an entry.
Status SaveAdjustmentFile(const std::u16string& imagePath, const AdjustmentRecord& record,
                          uint8_t imageOrientation);

// A view's record from the file beside its image: the record starts from
// its defaults with the image's own orientation, then takes the file's
// fields (counts kept in step). Pseudo-names ("<clipboard>") have no file.
// False when nothing was read.
bool LoadAdjustments(ViewState& view, const std::u16string& imagePath);
// Writes (or deletes) the file beside the image for the view's record.
// kInvalidArgument for an empty path or a pseudo-name.
Status SaveAdjustments(const ViewState& view, const std::u16string& imagePath);

// The range the dialog gives a field (and a read file is held to).
struct FieldRange {
  float low, high;
};
FieldRange ColourFieldRange(ColourField f);
inline constexpr FieldRange kSharpnessRange{-1.0f, 2.0f};

}  // namespace vt
