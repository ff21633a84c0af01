#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

// The 38 text slots that describe an image.
enum class PropertyId : uint8_t {
  FileName = 0,
  Dimensions = 1,
  ColourFormat = 2,
  Compression = 3,
  FileFormat = 4,
  FileTime = 5,
  FileSize = 6,
  Title = 7,
  Comment = 8,
  Author = 9,
  Rights = 10,
  CreationDate = 11,
  Page = 12,
  Source = 13,
  PixelDensity = 14,
  Orientation = 15,
  GpsGeotag = 16,
  Keyword1 = 17,  // 17..25: one keyword each
  Keyword9 = 25,
  Manufacturer = 26,
  Model = 27,
  ExposureTime = 28,
  FNumber = 29,
  IsoSpeed = 30,
  ShutterSpeed = 31,
  Aperture = 32,
  FocalLength = 33,
  ExposureBias = 34,
  Flash = 35,
  ExposureMode = 36,
  WhiteBalance = 37,
};
inline constexpr int kPropertyCount = 38;

// The label the interface shows for a slot (ids 17..25 share one label).
std::u16string_view PropertyLabel(PropertyId id);

// Encodings of borrowed texts given to SetRaw.
enum class TextEncoding : uint8_t { Bytes8 = 0, Utf8 = 1, Utf16 = 2 };

// How a slot holds its text.
enum class PropertyKind : uint8_t {
  Owned = 0,              // owned UTF-16
  Bytes8Terminated = 1,   // borrowed 8-bit (Windows-1252), zero at its length
  Bytes8 = 2,             // borrowed 8-bit, not terminated
  Utf8Terminated = 3,
  Utf8 = 4,
  Utf16Terminated = 5,
  Utf16 = 6,
};

// Text properties of an image. Borrowed texts point into file data that stays
// mapped while the reader lives; they are converted to owned UTF-16 on first Get.
class ImageProperties {
 public:
  ImageProperties() = default;
  ImageProperties(const ImageProperties&) = delete;
  ImageProperties& operator=(const ImageProperties&) = delete;
  virtual ~ImageProperties() = default;

  // True when the slot holds a non-empty text.
  virtual bool Has(PropertyId id) const;
  // The text as UTF-16, or nullptr when the slot is empty.
  virtual const std::u16string* Get(PropertyId id);
  // Stores an owned copy; an empty text clears the slot.
  virtual void Set(PropertyId id, std::u16string_view text);
  // Empties every slot.
  virtual void Clear();

  // Stores a borrowed pointer. With length < 0 the text is zero-terminated and
  // measured (in code units of its encoding). With a length, the text ends at
  // the first zero unit inside it (file formats often count their terminator),
  // trailing blanks are dropped and a text of blanks only leaves the slot empty;
  // the slot records whether the unit at the resulting length is zero. Nothing
  // past the given length is ever read.
  virtual void SetRaw(PropertyId id, const void* text, int32_t length, TextEncoding encoding);

  // Copies every set slot of other as owned text (borrowed slots of other are
  // converted first).
  void CopyFrom(ImageProperties& other);

  PropertyKind KindForTesting(PropertyId id) const { return slots_[Index(id)].kind; }
  uint16_t LengthForTesting(PropertyId id) const { return slots_[Index(id)].length; }

 protected:
  struct Slot {
    std::u16string owned;
    const void* borrowed = nullptr;
    PropertyKind kind = PropertyKind::Owned;
    uint16_t length = 0;  // in code units of its encoding
  };
  static size_t Index(PropertyId id) { return static_cast<uint8_t>(id) % kPropertyCount; }
  void StoreOwned(PropertyId id, std::u16string text);

  std::array<Slot, kPropertyCount> slots_{};
};

// The variant images carry once their file is gone: owned texts only. Set drops
// leading blanks and turns every character below 32 into a blank, so that texts
// are safe to show on one line.
class OwnedImageProperties : public ImageProperties {
 public:
  void Set(PropertyId id, std::u16string_view text) override;
  // Converts at once: nothing here may point into file data.
  void SetRaw(PropertyId id, const void* text, int32_t length, TextEncoding encoding) override;
};

// "%d-%c%c-%c%c, %c%c:%c%c:%c%c": year, then two-digit month, day, hour,
// minute and second, the time taken as it is.
std::u16string FormatFileTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace vt
