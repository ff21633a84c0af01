#include "index/index_cache.h"

#include <algorithm>
#include <cstring>

#include "base/byte_cursor.h"
#include "base/file_mapping.h"
#include "base/file_system.h"
#include "base/file_write.h"
#include "base/text.h"
#include "formats/lzw/lzw.h"

namespace vt {

namespace {

constexpr uint32_t kHeaderSize = 24;
constexpr uint32_t kCodingPlain = 0;
constexpr uint32_t kCodingDeltaLzw = 2;
constexpr uint32_t kMaxRecords = (1u << 22) - 1;
constexpr uint32_t kMaxDataSize = (1u << 30) - 1;
constexpr uint32_t kMaxThumbSide = 1023;
constexpr size_t kMaxNameBytes = 780;
constexpr size_t kMaxCommentChars = 520;
// A longer file is not something this program wrote; it is not read at all.
constexpr size_t kMaxFileSize = size_t{1} << 31;

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  out->insert(out->end(), b, b + 4);
}
void PutU16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
void PutTag(std::vector<uint8_t>* out, const char (&tag)[5]) { out->insert(out->end(), tag, tag + 4); }

bool TagIs(std::span<const uint8_t> bytes, const char (&tag)[5]) {
  return bytes.size() == 4 && std::memcmp(bytes.data(), tag, 4) == 0;
}

// The most bytes an LZW stream of this many bytes can decode to: every code
// is at least 9 bits wide and stands for at most 4096 bytes.
uint64_t LzwOutputBound(size_t streamBytes) { return uint64_t{streamBytes} * 8 / 9 * 4096 + 4096; }

// At most 520 characters, never half of a surrogate pair.
std::u16string_view CutComment(std::u16string_view text) {
  if (text.size() <= kMaxCommentChars) return text;
  size_t n = kMaxCommentChars;
  if (text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
  return text.substr(0, n);
}

std::u16string CommentText(std::string_view utf8) { return std::u16string(CutComment(Utf8ToUtf16(utf8))); }

}  // namespace

bool EncodeCacheName(std::u16string_view name, bool utf8, std::string* out) {
  out->clear();
  if (utf8) {
    *out = Utf16ToUtf8(name);
  } else {
    out->reserve(name.size());
    for (char16_t c : name) {
      if (c > 0xFF) return false;
      out->push_back(static_cast<char>(c));
    }
  }
  if (out->size() > kMaxNameBytes) out->resize(kMaxNameBytes);
  return !out->empty();
}

std::vector<uint8_t> EncodeIndexCache(std::span<const IndexCacheEntry> entries, uint32_t boxWidth,
                                      uint32_t boxHeight, bool compress) {
  if (boxWidth == 0 || boxHeight == 0 || boxWidth > kMaxThumbSide || boxHeight > kMaxThumbSide) return {};
  std::vector<const IndexCacheEntry*> kept;
  bool utf8 = false, comments = false;
  for (const IndexCacheEntry& e : entries) {
    const ImageBuffer* t = e.thumbnail.get();
    if (!t || t->Format() != PixelFormat::Bgra8 || t->Width() == 0 || t->Height() == 0 ||
        t->Width() > kMaxThumbSide || t->Height() > kMaxThumbSide || e.name.empty())
      continue;
    kept.push_back(&e);
    utf8 = utf8 || std::any_of(e.name.begin(), e.name.end(), [](char16_t c) { return c > 0xFF; });
    comments = comments || !e.comment.empty();
  }

  // Sizes first: what does not fit the format's fields is left out.
  struct Planned {
    const IndexCacheEntry* entry;
    std::string name;
    std::string comment;
    uint32_t offset;
  };
  std::vector<Planned> plan;
  uint64_t frefSize = 0, dataSize = 0;
  for (const IndexCacheEntry* e : kept) {
    Planned p{e, {}, {}, 0};
    EncodeCacheName(e->name, utf8, &p.name);
    if (comments && !e->comment.empty())
      p.comment = Utf16ToUtf8(CutComment(e->comment));
    const uint64_t pixels = uint64_t{e->thumbnail->Width()} * e->thumbnail->Height() * 4;
    const uint64_t extra = !comments ? 0 : p.comment.empty() ? 1 : 3 + p.comment.size();
    if (dataSize + pixels + extra > kMaxDataSize || plan.size() >= kMaxRecords) break;
    p.offset = static_cast<uint32_t>(dataSize);
    dataSize += pixels + extra;
    frefSize += kHeaderSize + 1 + p.name.size();
    plan.push_back(std::move(p));
  }
  if (plan.empty()) return {};
  const uint32_t frefPadded = static_cast<uint32_t>((frefSize + 1) & ~uint64_t{1});

  std::vector<uint8_t> data;
  data.reserve(static_cast<size_t>(dataSize));
  for (const Planned& p : plan) {
    const ImageBuffer& t = *p.entry->thumbnail;
    for (uint32_t y = 0; y < t.Height(); ++y) {
      const uint8_t* row = t.Row(y);
      data.insert(data.end(), row, row + size_t{t.Width()} * 4);
    }
    if (!comments) continue;
    if (!p.comment.empty()) {
      data.push_back(1);
      data.insert(data.end(), p.comment.begin(), p.comment.end());
      data.push_back(0);
    }
    data.push_back(0);
  }

  // Each byte's difference from the one before turns smooth pictures into
  // runs of small values, which the dictionary coder then finds again and again.
  uint32_t coding = kCodingPlain;
  std::vector<uint8_t> payload;
  if (compress) {
    std::vector<uint8_t> delta(data.size());
    uint8_t previous = 0;
    for (size_t i = 0; i < data.size(); ++i) {
      delta[i] = static_cast<uint8_t>(data[i] - previous);
      previous = data[i];
    }
    payload = LzwEncodeBytes(delta, 8);
    if (!payload.empty() && payload.size() * 10 < data.size() * 9) coding = kCodingDeltaLzw;
  }
  if (coding == kCodingPlain) payload = std::move(data);
  const uint32_t dataPadded = static_cast<uint32_t>((payload.size() + 1) & ~size_t{1});

  std::vector<uint8_t> file;
  file.reserve(48 + frefPadded + dataPadded);
  PutTag(&file, "RIFF");
  PutU32(&file, 4 + (8 + 12) + (8 + frefPadded) + (8 + dataPadded));
  PutTag(&file, "VTIC");
  PutTag(&file, "IFMT");
  PutU32(&file, 12);
  PutU32(&file, static_cast<uint32_t>(plan.size()));
  PutU32(&file, kHeaderSize | boxWidth << 8 | boxHeight << 18 | coding << 28);
  PutU32(&file, static_cast<uint32_t>(dataSize) | (utf8 ? 1u << 30 : 0) | (comments ? 1u << 31 : 0));
  PutTag(&file, "FREF");
  PutU32(&file, frefPadded);
  for (const Planned& p : plan) {
    const IndexCacheEntry& e = *p.entry;
    const ImageBuffer& t = *e.thumbnail;
    const uint32_t flags = static_cast<uint32_t>(t.Alpha()) & 3;
    PutU32(&file, (p.offset & 0xFFFFFF) | flags << 24 | (p.offset >> 24) << 26);
    PutU32(&file, t.Width() | t.Height() << 10 | 1u << 20 | std::min<uint32_t>(e.bitsPerPixel, 255) << 24);
    // The format keeps 16 bits of the full size; larger images show it cut.
    PutU16(&file, static_cast<uint16_t>(std::min<uint32_t>(e.width, 0xFFFF)));
    PutU16(&file, static_cast<uint16_t>(std::min<uint32_t>(e.height, 0xFFFF)));
    PutU32(&file, static_cast<uint32_t>(e.fileSize));
    PutU32(&file, static_cast<uint32_t>(e.lastWriteTime));
    PutU32(&file, static_cast<uint32_t>(e.lastWriteTime >> 32));
    file.insert(file.end(), p.name.begin(), p.name.end());
    file.push_back(0);
  }
  if (file.size() % 2) file.push_back(0);
  PutTag(&file, "DATA");
  PutU32(&file, dataPadded);
  file.insert(file.end(), payload.begin(), payload.end());
  if (file.size() % 2) file.push_back(0);
  return file;
}

bool ParseIndexCache(std::span<const uint8_t> bytes, IndexCacheContent* out) {
  *out = IndexCacheContent{};
  ByteCursor head(bytes);
  const auto riff = head.Bytes(4);
  const uint32_t riffSize = head.U32LE();
  const auto form = head.Bytes(4);
  if (!head.Ok() || !TagIs(riff, "RIFF") || !TagIs(form, "VTIC")) return false;
  const size_t end = static_cast<size_t>(std::min<uint64_t>(uint64_t{riffSize} + 8, bytes.size()));

  bool haveFormat = false;
  std::span<const uint8_t> fref, dataChunk;
  bool haveFref = false, haveData = false;
  uint32_t wordA = 0, wordB = 0, wordC = 0;
  // Chunks follow each other; one that claims more than the file holds gets
  // what is there (its records or pixels are checked one by one later).
  for (uint64_t at = 12; at + 8 <= end;) {
    ByteCursor c = ByteCursor(bytes).Sub(static_cast<size_t>(at), 8);
    const auto tag = c.Bytes(4);
    const uint32_t size = c.U32LE();
    const size_t bodyStart = static_cast<size_t>(at + 8);
    const size_t bodyEnd = static_cast<size_t>(std::min<uint64_t>(at + 8 + size, end));
    const std::span<const uint8_t> body = bytes.subspan(bodyStart, bodyEnd - bodyStart);
    if (TagIs(tag, "IFMT")) {
      ByteCursor f(body);
      wordA = f.U32LE();
      wordB = f.U32LE();
      wordC = f.U32LE();
      if (!f.Ok()) return false;
      haveFormat = true;
    } else if (TagIs(tag, "FREF")) {
      fref = body;
      haveFref = true;
    } else if (TagIs(tag, "DATA")) {
      // The coding must be known when the data arrive: a writer puts the
      // format chunk first.
      if (!haveFormat) return false;
      dataChunk = body;
      haveData = true;
    }
    at += 8 + uint64_t{size};
  }
  if (!haveFormat || !haveFref || !haveData) return false;

  out->declaredRecords = wordA & kMaxRecords;
  out->headerSize = wordB & 0xFF;
  out->boxWidth = (wordB >> 8) & 0x3FF;
  out->boxHeight = (wordB >> 18) & 0x3FF;
  out->coding = wordB >> 28;
  out->declaredDataSize = wordC & kMaxDataSize;
  out->utf8Names = (wordC >> 30) & 1;
  out->comments = (wordC >> 31) & 1;
  if (out->boxWidth == 0 || out->boxHeight == 0) return false;
  if (out->coding != kCodingPlain && out->coding != kCodingDeltaLzw) return false;
  if (out->headerSize < kHeaderSize) return false;

  ByteCursor r(fref);
  for (uint32_t i = 0; i < out->declaredRecords; ++i) {
    ByteCursor h = r.Sub(r.Position(), out->headerSize);
    if (!h.Ok()) break;
    IndexCacheRecord rec;
    const uint32_t w0 = h.U32LE(), w1 = h.U32LE();
    rec.offset = (w0 & 0xFFFFFF) | ((w0 >> 26) << 24);
    rec.flags = static_cast<uint8_t>((w0 >> 24) & 3);
    rec.thumbWidth = static_cast<uint16_t>(w1 & 0x3FF);
    rec.thumbHeight = static_cast<uint16_t>((w1 >> 10) & 0x3FF);
    rec.layout = static_cast<uint8_t>((w1 >> 20) & 0xF);
    rec.bitsPerPixel = static_cast<uint8_t>(w1 >> 24);
    rec.width = h.U16LE();
    rec.height = h.U16LE();
    rec.sizeLow = h.U32LE();
    rec.timeLow = h.U32LE();
    rec.timeHigh = h.U32LE();
    const size_t nameStart = r.Position() + out->headerSize;
    const auto rest = fref.subspan(nameStart);
    const auto nul = std::find(rest.begin(), rest.end(), uint8_t{0});
    // A name that runs off the chunk ends the table: what follows cannot be found.
    if (nul == rest.end()) break;
    rec.name.assign(rest.begin(), nul);
    r.Seek(nameStart + rec.name.size() + 1);
    out->records.push_back(std::move(rec));
  }

  if (out->coding == kCodingPlain) {
    const size_t n = std::min<size_t>(dataChunk.size(), out->declaredDataSize);
    out->data.assign(dataChunk.begin(), dataChunk.begin() + static_cast<ptrdiff_t>(n));
  } else {
    // Never more room than the stream could fill, whatever the size field says.
    const uint64_t room = std::min<uint64_t>(out->declaredDataSize, LzwOutputBound(dataChunk.size()));
    out->data.resize(static_cast<size_t>(room));
    const LzwDecodeResult d = LzwDecode(out->data, dataChunk);
    out->data.resize(d.written);
    uint8_t sum = 0;
    for (uint8_t& b : out->data) {
      sum = static_cast<uint8_t>(sum + b);
      b = sum;
    }
  }
  return true;
}

bool ExtractThumbnail(const IndexCacheContent& content, size_t record, CachedThumbnail* out) {
  if (record >= content.records.size()) return false;
  const IndexCacheRecord& rec = content.records[record];
  if (rec.layout > 1 || rec.thumbWidth == 0 || rec.thumbHeight == 0) return false;
  // A thumbnail larger than the box it was made for was not made by a writer.
  if (rec.thumbWidth > content.boxWidth || rec.thumbHeight > content.boxHeight) return false;
  const size_t bytesPerPixel = rec.layout == 1 ? 4 : 3;
  const size_t pixelBytes = size_t{rec.thumbWidth} * rec.thumbHeight * bytesPerPixel;
  if (rec.offset > content.data.size() || pixelBytes > content.data.size() - rec.offset) return false;
  RefPtr<ImageBuffer> t = ImageBuffer::Create(PixelFormat::Bgra8, rec.thumbWidth, rec.thumbHeight);
  if (!t) return false;
  t->SetAlpha(static_cast<AlphaMode>(std::min<uint8_t>(rec.flags, 2)));
  const uint8_t* src = content.data.data() + rec.offset;
  for (uint32_t y = 0; y < rec.thumbHeight; ++y) {
    uint8_t* row = t->Row(y);
    if (bytesPerPixel == 4) {
      std::memcpy(row, src, size_t{rec.thumbWidth} * 4);
      src += size_t{rec.thumbWidth} * 4;
    } else {
      for (uint32_t x = 0; x < rec.thumbWidth; ++x, src += 3, row += 4) {
        row[0] = src[0], row[1] = src[1], row[2] = src[2], row[3] = 0xFF;
      }
    }
  }
  out->width = rec.width;
  out->height = rec.height;
  out->bitsPerPixel = rec.bitsPerPixel;
  out->thumbnail = std::move(t);
  out->comment.clear();
  if (content.comments) {
    // Blocks: type 1 and a NUL-terminated UTF-8 comment, repeated; type 0 ends.
    std::span<const uint8_t> rest = std::span(content.data).subspan(rec.offset + pixelBytes);
    while (!rest.empty() && rest[0] == 1) {
      const auto nul = std::find(rest.begin() + 1, rest.end(), uint8_t{0});
      if (nul == rest.end()) break;
      out->comment = CommentText(std::string_view(reinterpret_cast<const char*>(rest.data() + 1),
                                                  static_cast<size_t>(nul - rest.begin() - 1)));
      rest = rest.subspan(static_cast<size_t>(nul - rest.begin()) + 1);
    }
  }
  return true;
}

bool IndexCache::SetFolder(std::u16string_view folder) {
  std::lock_guard lock(mutex_);
  std::u16string path(folder);
  if (!path.empty() && !IsPathSeparator(path.back())) path += kPathSeparator;
  path += kIndexCacheFileName;
  if (path.size() > kMaxPathLength) {
    path_.clear();
    return false;
  }
  path_ = std::move(path);
  return true;
}

std::u16string IndexCache::Path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void IndexCache::Install(IndexCacheContent content) {
  content_ = std::move(content);
  byName_.clear();
  for (uint32_t i = 0; i < content_.records.size(); ++i) byName_[content_.records[i].name].push_back(i);
}

bool IndexCache::Load(uint32_t* boxWidth, uint32_t* boxHeight) {
  std::lock_guard lock(mutex_);
  valid_ = false;
  Install({});
  if (path_.empty()) return false;
  std::unique_ptr<MappedFile> file;
  if (Failed(MappedFile::Open(path_, &file)) || file->Size() > kMaxFileSize) return false;
  IndexCacheContent content;
  if (!ParseIndexCache(file->Bytes(), &content)) return false;
  if ((*boxWidth && *boxWidth != content.boxWidth) || (*boxHeight && *boxHeight != content.boxHeight))
    return false;
  *boxWidth = content.boxWidth;
  *boxHeight = content.boxHeight;
  Install(std::move(content));
  valid_ = true;
  outOfDate_ = false;
  return true;
}

bool IndexCache::FindThumbnail(std::u16string_view name, uint64_t fileSize, uint64_t lastWriteTime,
                               CachedThumbnail* out) const {
  std::lock_guard lock(mutex_);
  if (!valid_) return false;
  std::string key;
  if (!EncodeCacheName(name, content_.utf8Names, &key)) return false;
  const auto it = byName_.find(key);
  if (it == byName_.end()) return false;
  for (uint32_t i : it->second) {
    const IndexCacheRecord& r = content_.records[i];
    if (r.sizeLow == static_cast<uint32_t>(fileSize) && r.timeLow == static_cast<uint32_t>(lastWriteTime) &&
        r.timeHigh == static_cast<uint32_t>(lastWriteTime >> 32))
      return ExtractThumbnail(content_, i, out);
  }
  return false;
}

size_t IndexCache::CountRecordsWithout(std::span<const IndexCacheEntry> present) const {
  std::lock_guard lock(mutex_);
  if (!valid_) return 0;
  std::vector<bool> used(content_.records.size());
  for (const IndexCacheEntry& e : present) {
    std::string key;
    if (!EncodeCacheName(e.name, content_.utf8Names, &key)) continue;
    const auto it = byName_.find(key);
    if (it == byName_.end()) continue;
    for (uint32_t i : it->second) {
      const IndexCacheRecord& r = content_.records[i];
      if (r.sizeLow == static_cast<uint32_t>(e.fileSize) &&
          r.timeLow == static_cast<uint32_t>(e.lastWriteTime) &&
          r.timeHigh == static_cast<uint32_t>(e.lastWriteTime >> 32)) {
        used[i] = true;
        break;
      }
    }
  }
  return static_cast<size_t>(std::count(used.begin(), used.end(), false));
}

Status IndexCache::Save(std::span<const IndexCacheEntry> entries, uint32_t boxWidth, uint32_t boxHeight) {
  // Encoding and writing take a while: the window keeps asking about the
  // cache meanwhile, so its lock is held only to read the path and to put
  // the new content in place. Writers of the file take turns: two saves
  // share one temporary file.
  std::lock_guard writing(fileMutex_);
  std::u16string path;
  {
    std::lock_guard lock(mutex_);
    path = path_;
  }
  if (path.empty()) return status::kInvalidArgument;
  if (entries.empty()) {
    RemoveFile(path);
    std::lock_guard lock(mutex_);
    valid_ = false;
    Install({});
    return status::kOk;
  }
  const std::vector<uint8_t> bytes = EncodeIndexCache(entries, boxWidth, boxHeight);
  // The temporary name ends like the cache so that no index lists it, and
  // starts with a dot so that it is hidden on systems without the attribute.
  const size_t cut = path.size() - kIndexCacheFileName.size();
  const std::u16string temporary = path.substr(0, cut) + u".Vistrel~.vti";
  const Status s = ReplaceFileContents(path, temporary, bytes, true);
  if (Failed(s)) return s;
  IndexCacheContent content;
  // An empty file (no thumbnail at all) is not a cache.
  const bool valid = ParseIndexCache(bytes, &content);
  std::lock_guard lock(mutex_);
  Install(valid ? std::move(content) : IndexCacheContent{});
  valid_ = valid;
  outOfDate_ = false;
  return status::kOk;
}

void IndexCache::Remove() {
  std::lock_guard writing(fileMutex_);
  std::lock_guard lock(mutex_);
  if (!path_.empty()) RemoveFile(path_);
  valid_ = false;
  Install({});
}

bool IndexCache::IsValid() const {
  std::lock_guard lock(mutex_);
  return valid_;
}
bool IndexCache::IsOutOfDate() const {
  std::lock_guard lock(mutex_);
  return outOfDate_;
}
void IndexCache::SetOutOfDate() {
  std::lock_guard lock(mutex_);
  outOfDate_ = true;
}
size_t IndexCache::RecordCount() const {
  std::lock_guard lock(mutex_);
  return content_.records.size();
}

}  // namespace vt
