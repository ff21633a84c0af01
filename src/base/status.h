#pragma once
#include <cstdint>
#include <string_view>

namespace vt {

// A status is a 32-bit code: zero and positive values are success, the system's
// fixed failure codes live in 0x80040200..0x8004020c.
using Status = int32_t;

namespace status {
inline constexpr Status kOk = 0;
inline constexpr Status kNothingDone = 1;
inline constexpr Status kGeneralFailure = static_cast<Status>(0x80040200u);
inline constexpr Status kInvalidArgument = static_cast<Status>(0x80040201u);
inline constexpr Status kOutOfMemory = static_cast<Status>(0x80040202u);
inline constexpr Status kCannotOpenFile = static_cast<Status>(0x80040203u);
inline constexpr Status kCannotCreateFile = static_cast<Status>(0x80040204u);
inline constexpr Status kCannotReadFile = static_cast<Status>(0x80040205u);
inline constexpr Status kCannotWriteFile = static_cast<Status>(0x80040206u);
inline constexpr Status kUnknownFormat = static_cast<Status>(0x80040207u);
inline constexpr Status kDamaged = static_cast<Status>(0x80040208u);
inline constexpr Status kUnsupportedSubformat = static_cast<Status>(0x80040209u);
inline constexpr Status kUnsupportedColourFormat = static_cast<Status>(0x8004020au);
inline constexpr Status kMissingDll = static_cast<Status>(0x8004020bu);
inline constexpr Status kCancelled = static_cast<Status>(0x8004020cu);
}  // namespace status

inline constexpr bool Succeeded(Status s) { return s >= 0; }
inline constexpr bool Failed(Status s) { return s < 0; }

// The fixed text of a status code; codes outside the table give "未知错误".
std::u16string_view StatusText(Status code);

}  // namespace vt
