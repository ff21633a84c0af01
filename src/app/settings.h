#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary.h"
#include "base/ref_counted.h"
#include "platform/settings_store.h"

namespace vt {

// The options block, stored whole as "Options8": its layout is a file format
// (little-endian, 172 bytes). Bytes without a field are reserved and kept.
struct OptionsBlock {
  uint32_t crc;                    // 0: CRC-32 of bytes 4..171 at the last save
  uint32_t reserved4;              // 4
  char language[64];               // 8: interface language name, UTF-8, NUL-terminated
  uint32_t dictionarySize;         // 72: bytes of the interface dictionary, 0 = none
  uint8_t notInstalled;            // 76: recomputed at every load
  uint8_t plainNameOrder;          // 77: the "NoStrCmpLogical" policy is 1; recomputed at load
  uint8_t reserved78[6];           // 78
  uint8_t clearedAtLoad;           // 84
  uint8_t reserved85[4];           // 85
  uint8_t keepRecent;              // 89: keep recent folders and last file at exit
  uint8_t newBlockMark;            // 90: 100 in a new block, read by nothing
  uint8_t reserved91;              // 91
  uint8_t viewerTitleBar;          // 92: 0 always, 1 while the mouse is over the image, 2 never
  uint8_t openFullScreen;          // 93
  uint8_t reserved94;              // 94
  uint8_t autoFit;                 // 95
  uint8_t fitOnlyShrinks;          // 96
  uint8_t fullScreenShrinksLarge;  // 97
  uint8_t reserved98[2];           // 98
  uint8_t titleShowsResolution;    // 100
  uint8_t titleShowsFullPath;      // 101
  uint8_t overlays[3];             // 102: content << 4 | vertical << 2 | horizontal
  uint8_t keyBindingCount;         // 105: 0 = built-in bindings
  uint8_t reserved106[6];          // 106
  uint8_t viewerBackground[3];     // 112: blue, green, red
  uint8_t viewerBackgroundFlags;   // 115: bit 7 semi-transparent off, bit 6 automatic colour off
  uint8_t indexShowFolders;        // 116
  uint8_t indexShowNonImages;      // 117
  uint8_t indexNameLines;          // 118: 0..4
  uint8_t indexShowResolution;     // 119
  uint8_t indexShowFileSize;       // 120
  uint8_t indexShowFileDate;       // 121
  uint8_t indexShowExtension;      // 122
  uint8_t indexShowComment;        // 123
  uint8_t indexTitleBar;           // 124: as viewerTitleBar
  uint8_t reserved125[3];          // 125
  uint32_t indexThumbWidth;        // 128: at least 32
  uint32_t indexThumbHeight;       // 132: at least 32
  uint32_t indexSpacing;           // 136
  uint8_t indexSortOrder;          // 140: 1 name, 2 image size, 3 file size, 4 date, 5 path
  uint8_t reserved141;             // 141
  uint8_t indexAutoCreateCache;    // 142
  uint8_t indexCacheSizeOverrides; // 143
  uint8_t indexShowFullPath;       // 144
  uint8_t indexShowImageCount;     // 145
  uint8_t indexCloseOnOpen;        // 146
  uint8_t indexFrozen;             // 147
  uint8_t indexBackground[3];      // 148: blue, green, red
  uint8_t indexBackgroundFlags;    // 151: bit 7 semi-transparent off
  uint16_t indexWindowX;           // 152
  uint16_t indexWindowY;           // 154
  uint16_t indexWindowWidth;       // 156
  uint16_t indexWindowHeight;      // 158
  uint32_t slideshowDelay;         // 160: tenths of a second
  uint8_t slideshowAdvance;        // 164: 0 no delay, 1 key or click, 2 fixed delay
  uint8_t slideshowFullScreen;     // 165
  uint8_t scriptFullPaths;         // 166
  uint8_t scriptLoop;              // 167
  uint8_t scriptEditFirst;         // 168
  uint8_t scriptSelfDelete;        // 169
  uint8_t scriptSortByName;        // 170
  uint8_t reserved171;             // 171

  static OptionsBlock Defaults();
  // CRC-32 of bytes 4..171.
  uint32_t ComputeCrc() const;
};

static_assert(std::endian::native == std::endian::little, "the block is stored as in memory");
static_assert(sizeof(OptionsBlock) == 172);
static_assert(offsetof(OptionsBlock, reserved4) == 4 && offsetof(OptionsBlock, language) == 8 &&
              offsetof(OptionsBlock, dictionarySize) == 72 &&
              offsetof(OptionsBlock, notInstalled) == 76 &&
              offsetof(OptionsBlock, plainNameOrder) == 77 &&
              offsetof(OptionsBlock, clearedAtLoad) == 84 &&
              offsetof(OptionsBlock, keepRecent) == 89 && offsetof(OptionsBlock, newBlockMark) == 90 &&
              offsetof(OptionsBlock, viewerTitleBar) == 92 &&
              offsetof(OptionsBlock, openFullScreen) == 93 && offsetof(OptionsBlock, autoFit) == 95 &&
              offsetof(OptionsBlock, fitOnlyShrinks) == 96 &&
              offsetof(OptionsBlock, fullScreenShrinksLarge) == 97 &&
              offsetof(OptionsBlock, titleShowsResolution) == 100 &&
              offsetof(OptionsBlock, titleShowsFullPath) == 101 &&
              offsetof(OptionsBlock, overlays) == 102 &&
              offsetof(OptionsBlock, keyBindingCount) == 105 &&
              offsetof(OptionsBlock, viewerBackground) == 112 &&
              offsetof(OptionsBlock, viewerBackgroundFlags) == 115 &&
              offsetof(OptionsBlock, indexShowFolders) == 116 &&
              offsetof(OptionsBlock, indexShowNonImages) == 117 &&
              offsetof(OptionsBlock, indexNameLines) == 118 &&
              offsetof(OptionsBlock, indexShowResolution) == 119 &&
              offsetof(OptionsBlock, indexShowFileSize) == 120 &&
              offsetof(OptionsBlock, indexShowFileDate) == 121 &&
              offsetof(OptionsBlock, indexShowExtension) == 122 &&
              offsetof(OptionsBlock, indexShowComment) == 123 &&
              offsetof(OptionsBlock, indexTitleBar) == 124 &&
              offsetof(OptionsBlock, indexThumbWidth) == 128 &&
              offsetof(OptionsBlock, indexThumbHeight) == 132 &&
              offsetof(OptionsBlock, indexSpacing) == 136 &&
              offsetof(OptionsBlock, indexSortOrder) == 140 &&
              offsetof(OptionsBlock, indexAutoCreateCache) == 142 &&
              offsetof(OptionsBlock, indexCacheSizeOverrides) == 143 &&
              offsetof(OptionsBlock, indexShowFullPath) == 144 &&
              offsetof(OptionsBlock, indexShowImageCount) == 145 &&
              offsetof(OptionsBlock, indexCloseOnOpen) == 146 &&
              offsetof(OptionsBlock, indexFrozen) == 147 &&
              offsetof(OptionsBlock, indexBackground) == 148 &&
              offsetof(OptionsBlock, indexBackgroundFlags) == 151 &&
              offsetof(OptionsBlock, indexWindowX) == 152 &&
              offsetof(OptionsBlock, indexWindowY) == 154 &&
              offsetof(OptionsBlock, indexWindowWidth) == 156 &&
              offsetof(OptionsBlock, indexWindowHeight) == 158 &&
              offsetof(OptionsBlock, slideshowDelay) == 160 &&
              offsetof(OptionsBlock, slideshowAdvance) == 164 &&
              offsetof(OptionsBlock, slideshowFullScreen) == 165 &&
              offsetof(OptionsBlock, scriptFullPaths) == 166 &&
              offsetof(OptionsBlock, scriptLoop) == 167 &&
              offsetof(OptionsBlock, scriptEditFirst) == 168 &&
              offsetof(OptionsBlock, scriptSelfDelete) == 169 &&
              offsetof(OptionsBlock, scriptSortByName) == 170,
              "the options block layout is stored as it stands");

// The recent folders in their stored form: UTF-8 paths, each ended by a NUL,
// the list ended by an empty string, most recent first, at most 16; the last
// byte of the buffer is the "changed" flag.
class RecentFolderList {
 public:
  static constexpr size_t kBufferSize = 1024;
  static constexpr size_t kMaxEntries = 16;
  static constexpr size_t kMaxPathBytes = 780;  // with its NUL

  // Takes stored bytes (up to the buffer size): stops at the empty string or
  // after 16 entries; the "changed" flag starts clear.
  void Parse(std::span<const uint8_t> stored);
  // Adds the path at the front, or removes it. Entries are the same when equal
  // with ASCII letters folded; an added path keeps its own letter case.
  void AddOrRemove(std::string_view utf8, bool remove);
  void AddOrRemove(std::u16string_view path, bool remove);
  void Clear();

  size_t Count() const { return offsets_.size(); }
  std::string_view EntryUtf8(size_t n) const;  // empty past the end
  std::u16string Entry(size_t n) const;
  // The stored bytes: the entries and the final NUL.
  std::span<const uint8_t> UsedBytes() const { return std::span(buffer_).first(used_); }
  bool Changed() const { return buffer_[kBufferSize - 1] != 0; }
  void SetChanged(bool changed) { buffer_[kBufferSize - 1] = changed ? 1 : 0; }

 private:
  void Reindex();

  std::array<uint8_t, kBufferSize> buffer_{};
  size_t used_ = 1;  // the empty string that ends the list
  std::vector<size_t> offsets_;
};

// One stored key binding: four bytes as the key-binding table defines them
// (modifier bits, virtual key, 16-bit command); opaque here.
using KeyBindingEntry = std::array<uint8_t, 4>;

// Everything the settings object needs to know about the running program.
struct SettingsEnvironment {
  std::u16string programPath;  // full path of the program file
  // The built-in key bindings, supplied by the key-binding table.
  std::function<std::span<const KeyBindingEntry>()> builtInKeyBindings;
};

// Every user option of the program for the life of the process, loaded from
// and saved to a SettingsStore. User-interface thread only.
class Settings {
 public:
  static constexpr std::u16string_view kVersion = u"9.3";
  static constexpr size_t kMaxKeyBindings = 255;
  static constexpr size_t kMaxLastFileLength = 260;

  Settings(SettingsStore* store, SettingsEnvironment environment);
  ~Settings();

  void Load();
  // At shut-down. Writes nothing for a copy that is not installed.
  void Save();
  // Writes "Dictionary8" from the current dictionary, or deletes it.
  void SaveDictionary();
  // Writes "Keys1", or deletes it when the built-in bindings are in force.
  void SaveKeyBindings();

  OptionsBlock& Options() { return options_; }
  const OptionsBlock& Options() const { return options_; }

  // After Load: the first run of an installed copy, which the caller follows
  // with the first-run setup and the help file's table of contents.
  bool IsFirstRunOfInstalledCopy() const { return firstRunInstalled_; }
  bool IsInstalled() const { return options_.notInstalled == 0; }

  // The stored table replaces the current one; more than 255 entries are cut.
  void SetKeyBindings(std::vector<KeyBindingEntry> table);
  // The stored bindings, or the built-in table when none are stored.
  std::span<const KeyBindingEntry> KeyBindings() const;

  RecentFolderList& RecentFolders() { return recent_; }
  const RecentFolderList& RecentFolders() const { return recent_; }

  // The last image shown: its folder is the first recent folder.
  const std::u16string& LastFilePath() const { return lastFile_; }
  void SetLastFilePath(std::u16string_view path);

  // The language named in the options block and its compiled dictionary.
  std::string LanguageName() const;
  // Stores the name (cut to 63 bytes), compiles "<program folder><name>.language",
  // makes it the active dictionary and saves it. A name without a file (the
  // built-in "English - US") leaves no dictionary.
  void ChangeLanguage(std::string_view utf8Name);
  const RefPtr<CompiledDictionary>& Dictionary() const { return dictionary_; }

  // Next and previous keep the zoom and the centre of view instead of fitting
  // each new image ("KeepZoom").
  bool KeepZoom() const { return keepZoom_; }
  void SetKeepZoom(bool on) { keepZoom_ = on; }
  // Saving the rotation into a file keeps the file's last-write time
  // ("KeepFileTime", off by default).
  bool KeepFileTime() const { return keepFileTime_; }
  void SetKeepFileTime(bool on) { keepFileTime_ = on; }
  // A checkerboard behind the transparent parts of images (off by default).
  bool Checkerboard() const { return checkerboard_; }
  void SetCheckerboard(bool on) { checkerboard_ = on; }

  std::u16string ProgramFolder() const;  // with its trailing separator
  const std::u16string& ProgramPath() const { return environment_.programPath; }
  const std::u16string& SlideshowScriptName() const { return scriptName_; }

 private:
  void LoadDictionary();
  void LoadKeyBindings();
  void SetDictionary(RefPtr<CompiledDictionary> dictionary);

  SettingsStore* store_;
  SettingsEnvironment environment_;
  OptionsBlock options_;
  RecentFolderList recent_;
  std::u16string lastFile_;
  std::u16string loadedLastFileName_;  // "LastFile" as read, so an unchanged one is not rewritten
  std::vector<KeyBindingEntry> keyBindings_;
  RefPtr<CompiledDictionary> dictionary_;
  std::u16string scriptName_ = u"Slide";
  bool firstRunInstalled_ = false;
  bool keepZoom_ = false;
  bool loadedKeepZoom_ = false;
  bool keepFileTime_ = false;
  bool loadedKeepFileTime_ = false;
  bool checkerboard_ = false;
  bool storedCheckerboard_ = false;  // as read, so an unchanged value is not rewritten
};

}  // namespace vt
