#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt {

// The channel between instances of the desktop program: a local stream socket
// in the user's runtime folder. A request is one byte of kind, a 32-bit
// little-endian length and that many bytes; the answer is a length and bytes.
// One request per connection.
enum class HandOffKind : uint8_t { kFind = 'F', kCopyData = 'D', kClose = 'C' };

// The largest request either side accepts.
inline constexpr size_t kHandOffMaxBytes = 1 << 20;

// Sends a request to the instance listening at path and waits for its answer
// (at most timeoutMs); nothing when nobody listens or the answer is malformed.
std::optional<std::vector<uint8_t>> SendHandOffRequest(const std::string& path, HandOffKind kind,
                                                       std::span<const uint8_t> body, int timeoutMs);

// Whether an instance listens at path (a socket left by an instance that
// ended does not answer). Sends nothing.
bool HandOffServerAnswers(const std::string& path);

// The listening side. The handler runs on the thread of the main loop and its
// answer goes back to the sender. Requests from other users are refused.
class HandOffServer {
 public:
  using Handler = std::function<std::vector<uint8_t>(HandOffKind kind, std::span<const uint8_t> body)>;
  ~HandOffServer();
  // Listens at path (a stale socket left by an ended instance is replaced);
  // null when the socket cannot be made or another instance listens there.
  static std::unique_ptr<HandOffServer> Listen(const std::string& path, Handler handler);

 private:
  HandOffServer() = default;
  void Serve();
  int fd_ = -1;
  unsigned source_ = 0;
  std::string path_;
  Handler handler_;
};

}  // namespace vt
