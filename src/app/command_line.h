#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// An argument list: the command line split into arguments.
using ArgumentList = std::vector<std::u16string>;

// Splits a command line. A blank (space or tab) outside quotes ends an argument; a double quote
// starts quoting, and a second one ends the argument there (so a"b c"d gives
// "ab c" and "d"). Blanks inside quotes are kept. Empty arguments are dropped; an
// empty command line gives one empty argument.
ArgumentList SplitCommandLine(std::u16string_view commandLine);

// The packed form: every argument followed by a NUL, the list ended by one more
// NUL. An empty argument ends the list, so anything after one is not packed.
std::u16string PackArguments(const ArgumentList& arguments);
// The reverse: arguments up to the first empty one or the end of the text. An
// argument cut by the end of the text (no NUL) is dropped.
ArgumentList UnpackArguments(std::u16string_view packed);

// Start-up options found in the argument list.
struct StartupOptions {
  std::optional<std::u16string> file;  // the first argument that is not a switch
  bool close = false;                  // "CLOSE"
  bool singleInstanceOff = false;      // "ONLYONE"
  // The argument list after the program path (all of it when the first argument
  // did not name a program), up to the first empty argument.
  ArgumentList arguments;
};

// True for "-..." and "/..." arguments.
bool IsSwitchArgument(std::u16string_view argument);

// Skips the program path (a first argument containing ".exe", case-sensitive)
// and scans the rest for the start-up switches and the file argument.
StartupOptions ScanStartupArguments(const ArgumentList& arguments);

// What a start asks of the program instead of a window: its usage or its
// version. Found among the arguments after the program path: "-h", "--help",
// "--version" (exactly, in lower case: these are the desktop's conventions,
// and no image file or window keyword is spelt that way).
enum class InformationRequest : uint8_t { kNone, kUsage, kVersion };
InformationRequest FindInformationRequest(const ArgumentList& arguments);
// The usage as printed for "--help": the switches and window keywords. name:
// the program as the user typed it.
std::u16string UsageText(std::u16string_view name);

// A coordinate the command line did not give.
inline constexpr int32_t kPositionNotGiven = INT32_MIN;  // 0x80000000
inline constexpr float kZoomNotGiven = -1.0f;

// The window keywords of an open-window request.
struct WindowOptions {
  bool index = false;       // "INDEX"
  bool frozen = false;      // "FREEZE"
  bool fullScreen = false;  // "FULLSCREEN"
  bool topmost = false;     // "TOPMOST"
  int32_t posX = kPositionNotGiven;  // "POS=x,y"
  int32_t posY = kPositionNotGiven;
  float zoom = kZoomNotGiven;             // "ZOOM=z"
  std::optional<std::u16string> title;  // "TITLE=text"
};

// Reads the window keywords from every switch of the list; later switches win.
// Numbers that are missing, malformed or out of range leave their field at the
// not-given value; a zoom must be finite and above zero.
WindowOptions ParseWindowOptions(const ArgumentList& arguments);

// The hand-off to a running instance: a tag, and a UTF-16 payload made of the file
// argument (or nothing) and its NUL, then the packed argument list.
inline constexpr uint32_t kHandOffTag = 0x46527476u;  // "vtRF" read little-endian

std::u16string BuildHandOffPayload(const std::optional<std::u16string>& file,
                                   const ArgumentList& arguments);
inline size_t HandOffByteCount(const std::u16string& payload) {
  return payload.size() * sizeof(char16_t);
}
// The payload's bytes as they travel (UTF-16 little-endian).
std::vector<uint8_t> HandOffBytes(const std::u16string& payload);

// What a running instance is asked to open.
struct HandOffRequest {
  std::optional<std::u16string> file;
  ArgumentList arguments;  // empty when the list starts with an empty argument
};

// Checks and reads a received hand-off. The bytes come from another process and
// are untrusted: nothing outside [data, data + byteCount) is read. Refused (empty)
// unless the tag is "vtRF", data is present, byteCount is not zero and the first
// string ends with a NUL inside the payload. A trailing odd byte is ignored, and
// an argument cut by the end of the payload ends the list without being taken.
std::optional<HandOffRequest> ReadHandOff(uint64_t tag, const void* data, size_t byteCount);

}  // namespace vt
