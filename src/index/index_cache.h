#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/ref_counted.h"
#include "base/status.h"
#include "image/image_buffer.h"

namespace vt {

// The thumbnails of a folder, kept in a file in that folder so that the next
// visit shows them without opening a single image. The file is a RIFF form
// "VTIC" with three chunks:
//   "IFMT"  12 bytes, three words:
//           A  bits 0-21 record count
//           B  bits 0-7 record header size (24), 8-17 box width, 18-27 box
//              height, 28-31 coding of the data block (0 plain, 2 delta + LZW)
//           C  bits 0-29 decoded data size, bit 30 names in UTF-8 (else
//              Latin-1), bit 31 comment blocks follow each thumbnail
//   "FREF"  the records, each a 24-byte header and a NUL-terminated name
//   "DATA"  every thumbnail's pixels (and comment blocks) in record order
// All numbers little-endian.
inline constexpr std::u16string_view kIndexCacheFileName = u"Vistrel.vti";

// One image whose thumbnail goes into the file.
struct IndexCacheEntry {
  std::u16string name;         // file name without folder
  uint64_t fileSize = 0;
  uint64_t lastWriteTime = 0;  // 100-ns units since 1601 (FILETIME)
  uint32_t width = 0;          // the full-size image
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  RefPtr<ImageBuffer> thumbnail;  // Bgra8
  std::u16string comment;
};

// What a record gives back.
struct CachedThumbnail {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  RefPtr<ImageBuffer> thumbnail;  // Bgra8, in memory
  std::u16string comment;
};

// One record of the reference chunk as read.
struct IndexCacheRecord {
  std::string name;  // the stored bytes (UTF-8 or Latin-1), without the NUL
  uint32_t offset = 0;
  uint8_t flags = 0;  // the thumbnail's alpha mode
  uint16_t thumbWidth = 0;
  uint16_t thumbHeight = 0;
  uint8_t layout = 0;  // 1: 4 bytes per pixel, 0: 3 bytes per pixel
  uint8_t bitsPerPixel = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t sizeLow = 0;
  uint32_t timeLow = 0;
  uint32_t timeHigh = 0;
};

// What a cache file holds, as far as it can be vouched for.
struct IndexCacheContent {
  uint32_t boxWidth = 0;
  uint32_t boxHeight = 0;
  uint32_t headerSize = 24;
  uint32_t coding = 0;
  bool utf8Names = false;
  bool comments = false;
  uint32_t declaredRecords = 0;
  uint32_t declaredDataSize = 0;
  // The records read in full, in file order (fewer than declared when the
  // chunk ends early or lies about its count).
  std::vector<IndexCacheRecord> records;
  // The decoded data block as far as it decoded (shorter than declared when
  // the stream is damaged or cut): records whose pixels lie beyond it give no
  // thumbnail.
  std::vector<uint8_t> data;
};

// The file for these thumbnails: records for the entries that have a
// thumbnail of at most 1023 x 1023, the data block delta-coded and
// LZW-compressed when that saves at least a tenth (compress false: always
// plain). Empty when no entry can be stored or the box does not fit the
// format (1..1023 in each direction).
std::vector<uint8_t> EncodeIndexCache(std::span<const IndexCacheEntry> entries, uint32_t boxWidth,
                                      uint32_t boxHeight, bool compress = true);

// Reads a cache file's bytes. False when they are not one (no RIFF form
// "VTIC", a format chunk missing, short or not before the data, no reference
// or data chunk, a box of zero, an unknown coding, a record header under 24
// bytes). Damage after that point costs only the records it touches.
bool ParseIndexCache(std::span<const uint8_t> bytes, IndexCacheContent* out);

// The thumbnail, image size and comment of one record; false when its pixels
// are not all there, its layout is unknown or it is larger than the box.
bool ExtractThumbnail(const IndexCacheContent& content, size_t record, CachedThumbnail* out);

// The name as a record stores it: UTF-8, or Latin-1 (nothing when a character
// is above U+00FF), cut at 780 bytes.
bool EncodeCacheName(std::u16string_view name, bool utf8, std::string* out);

// The cache of one index window. Load, FindThumbnail, Save and Remove may run
// on different threads (a load task, the thumbnail loaders, a save task); the
// object serialises them.
class IndexCache {
 public:
  static constexpr size_t kMaxPathLength = 259;

  // The cache file of a folder: false (and no path) when it would be longer
  // than 259 characters; then nothing is read or written.
  bool SetFolder(std::u16string_view folder);
  std::u16string Path() const;

  // Reads and checks the file. *boxWidth and *boxHeight: the box the window
  // asks for, 0 to take the file's; on success they receive the file's.
  bool Load(uint32_t* boxWidth, uint32_t* boxHeight);
  // The first record with the name (exact bytes), the low 32 bits of the size
  // and the time; nothing while no valid file is loaded.
  bool FindThumbnail(std::u16string_view name, uint64_t fileSize, uint64_t lastWriteTime,
                     CachedThumbnail* out) const;
  // How many loaded records match none of the given files (the file lost an
  // image or the image changed since the file was written).
  size_t CountRecordsWithout(std::span<const IndexCacheEntry> present) const;
  // Writes the file for these entries (an empty list deletes it). The written
  // file becomes the loaded one.
  Status Save(std::span<const IndexCacheEntry> entries, uint32_t boxWidth, uint32_t boxHeight);
  // Deletes the file and forgets the loaded one.
  void Remove();

  bool IsValid() const;
  bool IsOutOfDate() const;
  void SetOutOfDate();
  size_t RecordCount() const;

 private:
  void Install(IndexCacheContent content);

  mutable std::mutex mutex_;
  std::mutex fileMutex_;  // held by Save and Remove, before mutex_
  std::u16string path_;
  IndexCacheContent content_;
  std::unordered_map<std::string, std::vector<uint32_t>> byName_;
  bool valid_ = false;
  bool outOfDate_ = false;
};

}  // namespace vt
