#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "base/status.h"

namespace vt {

// Writes bytes as the file at path without ever leaving a half-written file
// there: they go to a new temporary file in the same folder, which is then
// renamed over path (an existing file keeps its attributes and permissions).
// On any failure the temporary file is removed and a file already at path is
// untouched. With keepTime the new file takes the old file's last-write time.
// kCannotCreateFile when the temporary file cannot be made, kCannotWriteFile
// when writing or renaming fails.
Status ReplaceFileContents(const std::u16string& path, std::span<const uint8_t> bytes,
                           bool keepTime = false);

// Deletes the file; a missing file counts as success. kCannotWriteFile otherwise.
Status RemoveFile(const std::u16string& path);

}  // namespace vt
