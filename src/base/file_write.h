#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "base/status.h"

namespace vt {

// Replaces the file at path with bytes so that no reader ever sees half of
// them: the bytes go to temporaryPath (a file of the caller's naming in the
// same folder), reach the disk, and the temporary file is then renamed over
// path. On any failure the temporary file is removed and path keeps what it
// had. hidden: the file carries the system's hidden attribute (Windows; POSIX
// has none, a leading dot in the name is the caller's affair).
Status ReplaceFileContents(const std::u16string& path, const std::u16string& temporaryPath,
                           std::span<const uint8_t> bytes, bool hidden);

// The same for a file the user owns: the temporary file is a new one beside
// path ("name.~vt0" ... "name.~vt9", never one that exists), and an existing
// file's permissions (attributes) go over to the new one. With keepTime the
// new file takes the old file's last-write time. kCannotCreateFile when no
// temporary file can be made, kCannotWriteFile when writing or renaming fails.
Status ReplaceFileContents(const std::u16string& path, std::span<const uint8_t> bytes, bool keepTime = false);

// Deletes a file; true when it is gone (also when there was none).
bool RemoveFile(const std::u16string& path);

}  // namespace vt
