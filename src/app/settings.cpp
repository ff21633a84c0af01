#include "app/settings.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "formats/lzw/lzw.h"

namespace vt {

namespace {

constexpr std::u16string_view kVersionValue = u"Vistrel-Ver";
constexpr std::u16string_view kOptionsValue = u"Options8";
constexpr std::u16string_view kRecentValue = u"RecentList";
constexpr std::u16string_view kLastFileValue = u"LastFile";
constexpr std::u16string_view kDictionaryValue = u"Dictionary8";
constexpr std::u16string_view kKeysValue = u"Keys1";
// A switch that came after the options block's layout was fixed: a 32-bit
// value of its own, 1 on.
constexpr std::u16string_view kKeepZoomValue = u"KeepZoom";
constexpr std::u16string_view kKeepFileTimeValue = u"KeepFileTime";
// A value of its own: the options block keeps its stored size.
constexpr std::u16string_view kCheckerboardValue = u"Checkerboard";
constexpr size_t kMaxVersionLength = 64;
// The dictionary is kept LZW-coded with byte symbols, like 8-bit image data.
constexpr int kDictionaryCodeSize = 8;

#ifdef _WIN32
constexpr char16_t kSeparator = u'\\';
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
#else
constexpr char16_t kSeparator = u'/';
bool IsSeparator(char16_t c) { return c == u'/'; }
#endif

size_t FileNameStart(std::u16string_view path) {
  size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1])) --i;
  return i;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// Values that consumers size windows and allocations by are brought back into
// their ranges, so that a damaged or edited block cannot ask for absurd sizes.
void Sanitize(OptionsBlock* o) {
  o->language[sizeof o->language - 1] = 0;
  o->indexThumbWidth = std::clamp<uint32_t>(o->indexThumbWidth, 32, 4096);
  o->indexThumbHeight = std::clamp<uint32_t>(o->indexThumbHeight, 32, 4096);
  o->indexSpacing = std::min<uint32_t>(o->indexSpacing, 1024);
  if (o->viewerTitleBar > 2) o->viewerTitleBar = 1;
  if (o->indexTitleBar > 2) o->indexTitleBar = 1;
  if (o->indexNameLines > 4) o->indexNameLines = 1;
  if (o->indexSortOrder < 1 || o->indexSortOrder > 5) o->indexSortOrder = 1;
  if (o->slideshowAdvance > 2) o->slideshowAdvance = 1;
}

}  // namespace

OptionsBlock OptionsBlock::Defaults() {
  OptionsBlock o;
  std::memset(&o, 0, sizeof o);
  std::memcpy(o.language, "English - US", 13);
  o.keepRecent = 1;
  o.newBlockMark = 100;
  o.viewerTitleBar = 1;
  o.autoFit = 1;
  o.fitOnlyShrinks = 1;
  o.fullScreenShrinksLarge = 1;
  o.titleShowsResolution = 1;
  // The comment at the bottom centre; the other two overlays off.
  o.overlays[0] = 0x36;
  o.overlays[1] = 0x05;
  o.overlays[2] = 0x04;
  o.viewerBackground[0] = o.viewerBackground[1] = o.viewerBackground[2] = 0x80;
  o.indexShowFolders = 1;
  o.indexNameLines = 1;
  o.indexShowResolution = 1;
  o.indexShowComment = 1;
  o.indexTitleBar = 1;
  o.indexThumbWidth = 160;
  o.indexThumbHeight = 160;
  o.indexSpacing = 10;
  o.indexSortOrder = 1;
  o.indexCacheSizeOverrides = 1;
  o.indexShowImageCount = 1;
  o.indexBackground[0] = o.indexBackground[1] = o.indexBackground[2] = 0x40;
  o.slideshowDelay = 80;
  o.slideshowAdvance = 1;
  o.slideshowFullScreen = 1;
  o.scriptSelfDelete = 1;
  o.scriptSortByName = 1;
  return o;
}

uint32_t OptionsBlock::ComputeCrc() const {
  const auto* bytes = reinterpret_cast<const Bytef*>(this);
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), bytes + 4, sizeof(OptionsBlock) - 4));
}

// ---------------------------------------------------------------------------

void RecentFolderList::Parse(std::span<const uint8_t> stored) {
  buffer_.fill(0);
  std::copy_n(stored.begin(), std::min(stored.size(), kBufferSize), buffer_.begin());
  buffer_[kBufferSize - 1] = 0;
  // Entries must leave room for the list's closing empty string before the
  // flag byte; one that does not is dropped with everything after it.
  size_t pos = 0;
  size_t count = 0;
  while (count < kMaxEntries && buffer_[pos] != 0) {
    const auto nul = std::find(buffer_.begin() + pos, buffer_.end(), 0);
    const size_t end = static_cast<size_t>(nul - buffer_.begin());
    if (end + 1 >= kBufferSize - 1) break;
    pos = end + 1;
    ++count;
  }
  std::fill(buffer_.begin() + pos, buffer_.end(), 0);
  used_ = pos + 1;
  Reindex();
}

void RecentFolderList::Reindex() {
  offsets_.clear();
  for (size_t pos = 0; pos + 1 < used_ && buffer_[pos] != 0;) {
    offsets_.push_back(pos);
    while (buffer_[pos] != 0) ++pos;
    ++pos;
  }
}

std::string_view RecentFolderList::EntryUtf8(size_t n) const {
  if (n >= offsets_.size()) return {};
  return std::string_view(reinterpret_cast<const char*>(buffer_.data() + offsets_[n]));
}

std::u16string RecentFolderList::Entry(size_t n) const { return Utf8ToUtf16(EntryUtf8(n)); }

void RecentFolderList::AddOrRemove(std::u16string_view path, bool remove) {
  AddOrRemove(Utf16ToUtf8(path), remove);
}

void RecentFolderList::AddOrRemove(std::string_view path, bool remove) {
  // Longer paths are ignored rather than cut: a cut path names another folder.
  if (path.empty() || path.size() + 1 > kMaxPathBytes || path.find('\0') != path.npos) return;
  std::vector<std::string> entries;
  size_t found = SIZE_MAX;
  for (size_t i = 0; i < Count(); ++i) {
    entries.emplace_back(EntryUtf8(i));
    if (found == SIZE_MAX && EqualsFolded(entries.back(), path)) found = i;
  }
  if (!remove && found == 0 && entries[0] == path) return;
  if (remove && found == SIZE_MAX) return;
  if (found != SIZE_MAX) entries.erase(entries.begin() + static_cast<ptrdiff_t>(found));
  if (!remove) {
    auto used = [&entries] {
      size_t n = 1;
      for (const auto& e : entries) n += e.size() + 1;
      return n;
    };
    while (!entries.empty() &&
           (entries.size() >= kMaxEntries || used() + path.size() + 1 >= kBufferSize))
      entries.pop_back();
    entries.insert(entries.begin(), std::string(path));
  }
  buffer_.fill(0);
  size_t pos = 0;
  for (const auto& e : entries) {
    std::copy(e.begin(), e.end(), buffer_.begin() + pos);
    pos += e.size() + 1;
  }
  used_ = pos + 1;
  Reindex();
  SetChanged(true);
}

void RecentFolderList::Clear() {
  if (Count() == 0) return;
  buffer_.fill(0);
  used_ = 1;
  offsets_.clear();
  SetChanged(true);
}

// ---------------------------------------------------------------------------

Settings::Settings(SettingsStore* store, SettingsEnvironment environment)
    : store_(store), environment_(std::move(environment)), options_(OptionsBlock::Defaults()) {}

Settings::~Settings() {
  if (dictionary_ && ActiveDictionary() == dictionary_) SetActiveDictionary(nullptr);
}

void Settings::Load() {
  std::u16string version;
  if (auto v = store_->Read(kVersionValue)) version = v->AsString().value_or(u"");
  if (version.size() > kMaxVersionLength) version.resize(kMaxVersionLength);

  bool firstRun = false;
  bool notInstalled = false;
  // Versions compare as plain code units, as they always have been stored.
  if (version < kVersion) {
    firstRun = version.empty() || version[0] < u'1';
    // A copy that was never installed leaves no trace: the next start is again
    // a first run.
    if (firstRun && !store_->IsInstalled()) notInstalled = true;
    if (!notInstalled) store_->Write(kVersionValue, SettingsValue::String(kVersion));
  }

  options_ = OptionsBlock::Defaults();
  recent_ = RecentFolderList();
  checkerboard_ = false;
  if (!firstRun) {
    if (auto v = store_->Read(kCheckerboardValue)) checkerboard_ = v->AsU32().value_or(0) == 1;
    auto block = store_->Read(kOptionsValue);
    if (block && block->type == SettingsValueType::kBinary && block->bytes.size() == sizeof options_)
      std::memcpy(&options_, block->bytes.data(), sizeof options_);
    auto recent = store_->Read(kRecentValue);
    if (recent && recent->type == SettingsValueType::kBinary &&
        recent->bytes.size() <= RecentFolderList::kBufferSize)
      recent_.Parse(recent->bytes);
  }
  Sanitize(&options_);

  // The last file lives in the first recent folder; with none, the user's
  // pictures folder becomes the first.
  lastFile_.clear();
  std::u16string folder = recent_.Entry(0);
  if (folder.empty()) {
    folder = store_->PicturesFolder();
    if (!folder.empty()) recent_.AddOrRemove(folder, false);
  }
  if (!folder.empty()) {
    lastFile_ = folder;
    if (!IsSeparator(lastFile_.back())) lastFile_.push_back(kSeparator);
    std::u16string name;
    if (!firstRun) {
      if (auto v = store_->Read(kLastFileValue)) name = v->AsString().value_or(u"");
    }
    if (lastFile_.size() + name.size() <= kMaxLastFileLength) lastFile_ += name;
  }
  loadedLastFileName_ = lastFile_.substr(FileNameStart(lastFile_));
  storedCheckerboard_ = checkerboard_;

  keepZoom_ = false;
  if (!firstRun)
    if (auto v = store_->Read(kKeepZoomValue)) keepZoom_ = v->AsU32().value_or(0) == 1;
  loadedKeepZoom_ = keepZoom_;
  keepFileTime_ = false;
  if (!firstRun)
    if (auto v = store_->Read(kKeepFileTimeValue)) keepFileTime_ = v->AsU32().value_or(0) == 1;
  loadedKeepFileTime_ = keepFileTime_;

  options_.plainNameOrder = store_->NoStrCmpLogicalPolicy() == 1u ? 1 : 0;
  LoadDictionary();
  LoadKeyBindings();
  options_.notInstalled = notInstalled ? 1 : 0;
  options_.clearedAtLoad = 0;
  firstRunInstalled_ = firstRun && !notInstalled;
  // The first-run setup and the help file are the caller's, on
  // IsFirstRunOfInstalledCopy().
}

void Settings::LoadDictionary() {
  const uint32_t size = options_.dictionarySize;
  SetDictionary(nullptr);
  RefPtr<CompiledDictionary> dictionary;
  if (size >= kDictionaryBuckets * 2 && size <= kMaxDictionaryBytes && size % 2 == 0) {
    auto coded = store_->Read(kDictionaryValue);
    if (coded && coded->type == SettingsValueType::kBinary && coded->bytes.size() <= 2 * size) {
      std::vector<uint8_t> bytes(size);
      if (LzwDecode(bytes, coded->bytes).written == size) dictionary = DictionaryFromBytes(bytes);
    }
  }
  // A dictionary that cannot be had is dropped: the built-in texts show.
  SetDictionary(dictionary);
}

void Settings::LoadKeyBindings() {
  keyBindings_.clear();
  const size_t count = options_.keyBindingCount;
  if (count == 0) return;
  auto stored = store_->Read(kKeysValue);
  // The first entry's command word must be set: an all-zero table is one that
  // was never filled in.
  if (!stored || stored->type != SettingsValueType::kBinary || stored->bytes.size() != count * 4 ||
      (stored->bytes[2] | stored->bytes[3]) == 0) {
    options_.keyBindingCount = 0;
    return;
  }
  keyBindings_.resize(count);
  for (size_t i = 0; i < count; ++i)
    std::copy_n(stored->bytes.begin() + static_cast<ptrdiff_t>(i * 4), 4, keyBindings_[i].begin());
}

void Settings::Save() {
  if (!options_.notInstalled) {
    if (!options_.keepRecent) {
      recent_.Clear();
      lastFile_.clear();
    }
    const uint32_t crc = options_.ComputeCrc();
    if (crc != options_.crc) {
      options_.crc = crc;
      store_->Write(kOptionsValue,
                    SettingsValue::Binary(std::span(reinterpret_cast<const uint8_t*>(&options_),
                                                    sizeof options_)));
    }
    if (recent_.Changed()) {
      if (recent_.Count() > 0)
        store_->Write(kRecentValue, SettingsValue::Binary(recent_.UsedBytes()));
      else
        store_->Delete(kRecentValue);
      recent_.SetChanged(false);
    }
    const std::u16string name = lastFile_.substr(FileNameStart(lastFile_));
    if (name != loadedLastFileName_) {
      if (!name.empty())
        store_->Write(kLastFileValue, SettingsValue::String(name));
      else
        store_->Delete(kLastFileValue);
      loadedLastFileName_ = name;
    }
    if (keepZoom_ != loadedKeepZoom_ && store_->Write(kKeepZoomValue, SettingsValue::U32(keepZoom_ ? 1 : 0)))
      loadedKeepZoom_ = keepZoom_;
    if (keepFileTime_ != loadedKeepFileTime_ &&
        store_->Write(kKeepFileTimeValue, SettingsValue::U32(keepFileTime_ ? 1 : 0)))
      loadedKeepFileTime_ = keepFileTime_;
    if (checkerboard_ != storedCheckerboard_ &&
        store_->Write(kCheckerboardValue, SettingsValue::U32(checkerboard_ ? 1 : 0)))
      storedCheckerboard_ = checkerboard_;
  }
  SetDictionary(nullptr);
  options_.dictionarySize = 0;
  keyBindings_.clear();
}

void Settings::SaveDictionary() {
  if (options_.notInstalled) return;
  if (!dictionary_) {
    store_->Delete(kDictionaryValue);
    return;
  }
  const std::vector<uint8_t> bytes = dictionary_->ToBytes();
  store_->Write(kDictionaryValue, SettingsValue::Binary(LzwEncodeBytes(bytes, kDictionaryCodeSize)));
}

void Settings::SaveKeyBindings() {
  if (options_.notInstalled) return;
  std::span<const KeyBindingEntry> builtIn;
  if (environment_.builtInKeyBindings) builtIn = environment_.builtInKeyBindings();
  // A table holding exactly the built-in entries, in any order, is the
  // built-in table: nothing needs to be stored.
  auto contains = [](std::span<const KeyBindingEntry> table, const KeyBindingEntry& e) {
    return std::find(table.begin(), table.end(), e) != table.end();
  };
  if (!builtIn.empty() && keyBindings_.size() == builtIn.size() &&
      std::all_of(keyBindings_.begin(), keyBindings_.end(),
                  [&](const KeyBindingEntry& e) { return contains(builtIn, e); }) &&
      std::all_of(builtIn.begin(), builtIn.end(),
                  [&](const KeyBindingEntry& e) { return contains(keyBindings_, e); })) {
    keyBindings_.clear();
    options_.keyBindingCount = 0;
  }
  if (keyBindings_.empty()) {
    store_->Delete(kKeysValue);
    return;
  }
  std::vector<uint8_t> bytes;
  for (const KeyBindingEntry& e : keyBindings_) bytes.insert(bytes.end(), e.begin(), e.end());
  store_->Write(kKeysValue, SettingsValue::Binary(bytes));
}

void Settings::SetKeyBindings(std::vector<KeyBindingEntry> table) {
  if (table.size() > kMaxKeyBindings) table.resize(kMaxKeyBindings);
  keyBindings_ = std::move(table);
  options_.keyBindingCount = static_cast<uint8_t>(keyBindings_.size());
}

std::span<const KeyBindingEntry> Settings::KeyBindings() const {
  if (!keyBindings_.empty()) return keyBindings_;
  if (environment_.builtInKeyBindings) return environment_.builtInKeyBindings();
  return {};
}

void Settings::SetLastFilePath(std::u16string_view path) {
  lastFile_ = path.size() <= kMaxLastFileLength ? std::u16string(path) : std::u16string();
}

std::string Settings::LanguageName() const {
  return std::string(options_.language, strnlen(options_.language, sizeof options_.language));
}

void Settings::SetDictionary(RefPtr<CompiledDictionary> dictionary) {
  if (dictionary_ && ActiveDictionary() == dictionary_) SetActiveDictionary(nullptr);
  dictionary_ = std::move(dictionary);
  options_.dictionarySize = dictionary_ ? dictionary_->SizeInBytes() : 0;
  if (dictionary_) SetActiveDictionary(dictionary_);
}

void Settings::ChangeLanguage(std::string_view utf8Name) {
  // Cut at a character boundary so that the stored name stays valid UTF-8.
  size_t n = std::min(utf8Name.size(), sizeof options_.language - 1);
  if (n < utf8Name.size())
    while (n > 0 && (static_cast<uint8_t>(utf8Name[n]) & 0xC0) == 0x80) --n;
  std::memset(options_.language, 0, sizeof options_.language);
  std::memcpy(options_.language, utf8Name.data(), n);
  SetDictionary(nullptr);
  SetDictionary(
      CompileLanguageFile(ProgramFolder() + Utf8ToUtf16(LanguageName()) + u".language"));
  SaveDictionary();
}

std::u16string Settings::ProgramFolder() const {
  const std::u16string& p = environment_.programPath;
  return p.substr(0, FileNameStart(p));
}

}  // namespace vt
