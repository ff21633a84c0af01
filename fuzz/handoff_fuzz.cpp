// Hand-off payloads come from any process on the desktop: the receiver must read
// arbitrary bytes safely, and what it accepts must survive a rebuild unchanged.
#include <cstdint>
#include <cstdlib>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto request = vt::ReadHandOff(vt::kHandOffTag, data, size);
  if (!request) return 0;
  const std::u16string again = vt::BuildHandOffPayload(request->file, request->arguments);
  auto reread = vt::ReadHandOff(vt::kHandOffTag, again.data(), again.size() * 2);
  if (!reread || reread->file != request->file || reread->arguments != request->arguments)
    std::abort();
  return 0;
}
