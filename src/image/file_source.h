#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/byte_cursor.h"
#include "base/file_mapping.h"
#include "base/ref_counted.h"
#include "base/status.h"

namespace vt {

// The bytes of one image file, shared by the readers of its frames.
class FileSource : public RefCounted {
 public:
  virtual const uint8_t* Data() const = 0;
  // Bytes; a file too large for 32 bits reports 0xFFFFFFFF.
  virtual uint32_t Size() const = 0;
  virtual const std::u16string& Path() const = 0;
  // False when the file cannot be opened.
  virtual bool LastWriteTime(FileTime* out) const = 0;

  std::span<const uint8_t> Bytes() const { return {Data(), Size()}; }
  ByteCursor Cursor() const { return ByteCursor(Bytes()); }
};

// A file mapped read-only as a whole. kCannotOpenFile on any failure, including
// files of 0 bytes and files that do not exist.
Status OpenFileSource(const std::u16string& path, RefPtr<FileSource>* out);

// Bytes held in memory under a made-up path (tests, fuzzing, the clipboard).
RefPtr<FileSource> MakeMemorySource(std::u16string path, std::string bytes);

}  // namespace vt
