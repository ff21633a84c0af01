#include "platform/posix/file_settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/byte_cursor.h"
#include "base/file_mapping.h"
#include "base/text.h"

namespace vt {

namespace {

constexpr char kMagic[8] = {'V', 'T', 'S', 'T', 'O', 'R', 'E', '1'};
constexpr size_t kMaxFileSize = size_t{64} << 20;
constexpr uint32_t kMaxValues = 4096;

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}
void PutText(std::string* out, std::u16string_view text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  for (char16_t c : text) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
}
bool GetText(ByteCursor* c, std::u16string* text) {
  const uint32_t n = c->U32LE();
  if (!c->Ok() || n > c->Remaining() / 2) return false;
  text->resize(n);
  for (uint32_t i = 0; i < n; ++i) (*text)[i] = c->U16LE();
  return c->Ok();
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home ? home : "";
}

}  // namespace

std::string UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  return HomeFolder() + "/.config";
}

FileSettingsStore::FileSettingsStore(std::string configFolder, std::u16string programPath)
    : configFolder_(std::move(configFolder)),
      path_(configFolder_ + "/Korvanne/Vistrel.settings"),
      programPath_(std::move(programPath)) {}

FileSettingsStore::FileState FileSettingsStore::Load(ValueMap* values) const {
  values->clear();
  std::string bytes;
  if (Failed(ReadWholeFile(Utf8ToUtf16(path_), &bytes))) {
    struct stat st;
    return ::stat(path_.c_str(), &st) != 0 && errno == ENOENT ? FileState::kMissing
                                                              : FileState::kUnreadable;
  }
  ByteCursor c(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (bytes.size() > kMaxFileSize || !c.StartsWith(std::span(reinterpret_cast<const uint8_t*>(kMagic), 8)))
    return FileState::kUnreadable;
  c.Skip(8);
  const uint32_t crc = c.U32LE();
  const auto rest = c.Data().subspan(c.Position());
  if (!c.Ok() || crc != static_cast<uint32_t>(crc32(0, rest.data(), static_cast<uInt>(rest.size()))))
    return FileState::kUnreadable;
  std::u16string keyPath;
  if (!GetText(&c, &keyPath) || keyPath != kSettingsKeyPath) return FileState::kUnreadable;
  const uint32_t count = c.U32LE();
  if (!c.Ok() || count > kMaxValues) return FileState::kUnreadable;
  ValueMap read;
  for (uint32_t i = 0; i < count; ++i) {
    std::u16string name;
    if (!GetText(&c, &name)) return FileState::kUnreadable;
    SettingsValue v;
    v.type = static_cast<SettingsValueType>(c.U32LE());
    const uint32_t size = c.U32LE();
    auto data = c.Bytes(size);
    if (!c.Ok()) return FileState::kUnreadable;
    v.bytes.assign(data.begin(), data.end());
    read.insert_or_assign(std::move(name), std::move(v));
  }
  if (!c.AtEnd()) return FileState::kUnreadable;
  *values = std::move(read);
  return FileState::kGood;
}

bool FileSettingsStore::Store(const ValueMap& values) {
  std::string body;
  PutText(&body, kSettingsKeyPath);
  PutU32(&body, static_cast<uint32_t>(values.size()));
  for (const auto& [name, v] : values) {
    PutText(&body, name);
    PutU32(&body, static_cast<uint32_t>(v.type));
    PutU32(&body, static_cast<uint32_t>(v.bytes.size()));
    body.append(v.bytes.begin(), v.bytes.end());
  }
  std::string file(kMagic, sizeof kMagic);
  PutU32(&file, static_cast<uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  file += body;

  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
  const std::string temp = path_ + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, file) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !ok || ::rename(temp.c_str(), path_.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool FileSettingsStore::Modify(std::u16string_view name, const SettingsValue* value) {
  ValueMap values;
  const FileState state = Load(&values);
  if (state == FileState::kUnreadable) {
    // Keep whatever is there for the user to inspect; start a new store.
    const std::string aside = path_ + ".damaged";
    if (::rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT) return false;
    values.clear();
  }
  if (value) {
    if (value->bytes.size() > kMaxValueSize || values.size() >= kMaxValues) return false;
    values.insert_or_assign(std::u16string(name), *value);
  } else {
    auto it = values.find(name);
    if (it == values.end()) return true;
    values.erase(it);
  }
  return Store(values);
}

std::optional<SettingsValue> FileSettingsStore::Read(std::u16string_view name) {
  ValueMap values;
  if (Load(&values) != FileState::kGood) return std::nullopt;
  auto it = values.find(name);
  if (it == values.end() || it->second.bytes.size() > kMaxValueSize) return std::nullopt;
  return it->second;
}

bool FileSettingsStore::Write(std::u16string_view name, const SettingsValue& value) {
  return Modify(name, &value);
}

bool FileSettingsStore::Delete(std::u16string_view name) { return Modify(name, nullptr); }

bool FileSettingsStore::IsInstalled() {
  const std::string program = Utf16ToUtf8(programPath_);
  const size_t slash = program.rfind('/');
  if (slash == std::string::npos) return false;
  struct stat st;
  const std::string marker = program.substr(0, slash + 1) + kInstalledMarker;
  return ::stat(marker.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::u16string FileSettingsStore::PicturesFolder() {
  const std::string home = HomeFolder();
  std::string dirs;
  if (Succeeded(ReadWholeFile(Utf8ToUtf16(configFolder_ + "/user-dirs.dirs"), &dirs))) {
    // Lines of the form XDG_PICTURES_DIR="$HOME/Pictures" (shell syntax, quoted).
    size_t pos = 0;
    while (pos < dirs.size()) {
      size_t end = dirs.find('\n', pos);
      if (end == std::string::npos) end = dirs.size();
      std::string_view line(dirs.data() + pos, end - pos);
      pos = end + 1;
      constexpr std::string_view kKey = "XDG_PICTURES_DIR=\"";
      if (!line.starts_with(kKey) || line.size() < kKey.size() + 1 || line.back() != '"') continue;
      std::string value(line.substr(kKey.size(), line.size() - kKey.size() - 1));
      if (value.starts_with("$HOME")) value = home + value.substr(5);
      if (!value.empty() && value[0] == '/') return Utf8ToUtf16(value);
    }
  }
  struct stat st;
  const std::string pictures = home + "/Pictures";
  if (!home.empty() && ::stat(pictures.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Utf8ToUtf16(pictures);
  return {};
}

std::unique_ptr<SettingsStore> CreateSystemSettingsStore(const std::u16string& programPath) {
  return std::make_unique<FileSettingsStore>(UserConfigFolder(), programPath);
}

}  // namespace vt
