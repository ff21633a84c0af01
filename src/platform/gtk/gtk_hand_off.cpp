#include "platform/gtk/gtk_hand_off.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/byte_cursor.h"

#include <glib-unix.h>

namespace vt {

namespace {

bool AddressOf(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address->sun_path)) return false;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

// Waits for the socket to be ready; false on timeout or failure.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = poll(&p, 1, timeoutMs);
    if (r > 0) return true;
    if (r == 0 || errno != EINTR) return false;
  }
}

bool WriteAll(int fd, const uint8_t* data, size_t size, int timeoutMs) {
  while (size > 0) {
    if (!WaitFor(fd, POLLOUT, timeoutMs)) return false;
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size, int timeoutMs) {
  while (size > 0) {
    if (!WaitFor(fd, POLLIN, timeoutMs)) return false;
    const ssize_t n = recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

// A length-prefixed block; the length comes from the other process and is
// checked against the limit before anything is allocated.
std::optional<std::vector<uint8_t>> ReadBlock(int fd, int timeoutMs) {
  uint8_t head[4];
  if (!ReadAll(fd, head, 4, timeoutMs)) return std::nullopt;
  ByteCursor cursor(head, 4);
  const uint32_t length = cursor.U32LE();
  if (!cursor.Ok() || length > kHandOffMaxBytes) return std::nullopt;
  std::vector<uint8_t> block(length);
  if (length && !ReadAll(fd, block.data(), length, timeoutMs)) return std::nullopt;
  return block;
}

bool WriteBlock(int fd, std::span<const uint8_t> block, int timeoutMs) {
  const auto n = static_cast<uint32_t>(block.size());
  const uint8_t head[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  return WriteAll(fd, head, 4, timeoutMs) && WriteAll(fd, block.data(), block.size(), timeoutMs);
}

int Connect(const std::string& path) {
  sockaddr_un address;
  if (!AddressOf(path, &address)) return -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The answer of a server waiting for its own main loop would never come.
constexpr int kServerReadMs = 2000;

}  // namespace

std::optional<std::vector<uint8_t>> SendHandOffRequest(const std::string& path, HandOffKind kind,
                                                       std::span<const uint8_t> body, int timeoutMs) {
  if (body.size() > kHandOffMaxBytes) return std::nullopt;
  const int fd = Connect(path);
  if (fd < 0) return std::nullopt;
  std::optional<std::vector<uint8_t>> answer;
  const uint8_t k = static_cast<uint8_t>(kind);
  if (WriteAll(fd, &k, 1, timeoutMs) && WriteBlock(fd, body, timeoutMs)) answer = ReadBlock(fd, timeoutMs);
  close(fd);
  return answer;
}

bool HandOffServerAnswers(const std::string& path) {
  const int fd = Connect(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}

HandOffServer::~HandOffServer() {
  if (source_) g_source_remove(source_);
  if (fd_ >= 0) {
    close(fd_);
    unlink(path_.c_str());
  }
}

std::unique_ptr<HandOffServer> HandOffServer::Listen(const std::string& path, Handler handler) {
  sockaddr_un address;
  if (!AddressOf(path, &address)) return nullptr;
  // A socket that still answers belongs to a running instance; one that does
  // not was left by an instance that ended without removing it.
  if (HandOffServerAnswers(path)) return nullptr;
  unlink(path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return nullptr;
  }
  std::unique_ptr<HandOffServer> server(new HandOffServer());
  server->fd_ = fd;
  server->path_ = path;
  server->handler_ = std::move(handler);
  server->source_ = g_unix_fd_add(
      fd, G_IO_IN,
      [](gint, GIOCondition, gpointer self) -> gboolean {
        static_cast<HandOffServer*>(self)->Serve();
        return G_SOURCE_CONTINUE;
      },
      server.get());
  return server;
}

void HandOffServer::Serve() {
  const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return;
  ucred peer{};
  socklen_t peerSize = sizeof(peer);
  const bool sameUser = getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) == 0 && peer.uid == getuid();
  uint8_t kind = 0;
  if (sameUser && ReadAll(client, &kind, 1, kServerReadMs) &&
      (kind == uint8_t(HandOffKind::kFind) || kind == uint8_t(HandOffKind::kCopyData) ||
       kind == uint8_t(HandOffKind::kClose))) {
    if (auto body = ReadBlock(client, kServerReadMs)) {
      const std::vector<uint8_t> answer = handler_(static_cast<HandOffKind>(kind), *body);
      WriteBlock(client, answer, kServerReadMs);
    }
  }
  close(client);
}

}  // namespace vt
