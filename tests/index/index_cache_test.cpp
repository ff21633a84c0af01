#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>
#include <functional>
#include <string>
#include <vector>

#include "base/cpu_features.h"
#include "base/file_mapping.h"
#include "base/file_system.h"
#include "base/text.h"
#include "base/tasks.h"
#include "image/format_registry.h"
#include "index/index_cache.h"
#include "index/thumbnail_loader.h"
#include "index_test_util.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vt {
namespace {

using test::MakeThumbnail;
using test::SamePixels;

uint32_t Word(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t{f[at + 3]} << 24;
}
std::string Tag(const std::vector<uint8_t>& f, size_t at) {
  return std::string(reinterpret_cast<const char*>(f.data() + at), 4);
}

// Smooth pictures compress; noise does not.
uint32_t Smooth(int x, int y) { return 0xFF000000u | uint32_t(x / 8 * 20) << 16 | uint32_t(y / 8 * 30) << 8 | 0x40; }
uint32_t Noise(int x, int y) {
  uint32_t v = uint32_t(x * 7919 + y * 104729) * 2654435761u;
  return v ^ (v >> 13) * 0x9E3779B1u;
}

IndexCacheEntry Entry(std::u16string name, int w, int h, uint32_t (*pixel)(int, int), std::u16string comment = {},
                      uint64_t size = 1000, uint64_t time = 0x01D9'0000'1234'5678ull) {
  IndexCacheEntry e;
  e.name = std::move(name);
  e.fileSize = size;
  e.lastWriteTime = time;
  e.width = uint32_t(w * 10);
  e.height = uint32_t(h * 10);
  e.bitsPerPixel = 24;
  e.thumbnail = MakeThumbnail(w, h, pixel);
  e.comment = std::move(comment);
  return e;
}

std::vector<IndexCacheEntry> Entries(IndexCacheEntry e) { return {std::move(e)}; }

void ExpectRoundTrip(const std::vector<IndexCacheEntry>& in, const IndexCacheContent& c) {
  ASSERT_EQ(c.records.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    CachedThumbnail t;
    ASSERT_TRUE(ExtractThumbnail(c, i, &t)) << "record " << i;
    EXPECT_EQ(t.width, in[i].width);
    EXPECT_EQ(t.height, in[i].height);
    EXPECT_EQ(t.bitsPerPixel, in[i].bitsPerPixel);
    EXPECT_EQ(t.comment, in[i].comment);
    EXPECT_TRUE(SamePixels(*t.thumbnail, *in[i].thumbnail)) << "record " << i;
    std::string name;
    EncodeCacheName(in[i].name, c.utf8Names, &name);
    EXPECT_EQ(c.records[i].name, name);
  }
}

TEST(IndexCacheFile, RoundTripsNamesCommentsAndBothCodings) {
  struct Case {
    const char* what;
    std::vector<IndexCacheEntry> entries;
    bool utf8, comments;
    uint32_t coding;
  };
  std::vector<Case> cases;
  cases.push_back({"ascii, smooth", {Entry(u"a.jpg", 40, 30, Smooth), Entry(u"b.png", 12, 17, Smooth)},
                   false, false, 2});
  cases.push_back({"latin-1 names, noise", {Entry(u"caf\u00e9.jpg", 20, 20, Noise), Entry(u"\u00ff.bmp", 5, 9, Noise)},
                   false, false, 0});
  cases.push_back({"one chinese name switches all to UTF-8",
                   {Entry(u"caf\u00e9.jpg", 8, 8, Smooth), Entry(u"\u65c5\u884c.jpg", 16, 9, Smooth)}, true, false, 2});
  cases.push_back({"comments, with and without",
                   {Entry(u"x.jpg", 10, 10, Noise, u"\u5348\u540e comment"), Entry(u"y.jpg", 3, 4, Noise)},
                   false, true, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> file = EncodeIndexCache(c.entries, 160, 120);
    IndexCacheContent content;
    ASSERT_TRUE(ParseIndexCache(file, &content));
    EXPECT_EQ(content.utf8Names, c.utf8);
    EXPECT_EQ(content.comments, c.comments);
    EXPECT_EQ(content.coding, c.coding);
    EXPECT_EQ(content.boxWidth, 160u);
    EXPECT_EQ(content.boxHeight, 120u);
    ExpectRoundTrip(c.entries, content);
    // The compressed form is only kept when it saves a tenth.
    const size_t decoded = content.data.size();
    const uint32_t dataSize = Word(file, 44 + Word(file, 36));
    if (c.coding == 2) {
      EXPECT_LT(dataSize * 10, decoded * 9 + 20);
    } else {
      EXPECT_EQ(dataSize, (decoded + 1) & ~size_t{1});
    }
  }
  // Without compression the same entries come back the same.
  const std::vector<IndexCacheEntry> plain = cases[0].entries;
  IndexCacheContent content;
  ASSERT_TRUE(ParseIndexCache(EncodeIndexCache(plain, 160, 120, false), &content));
  EXPECT_EQ(content.coding, 0u);
  ExpectRoundTrip(plain, content);
}

TEST(IndexCacheFile, LaysOutTheChunksAndWordsAsStored) {
  const std::vector<IndexCacheEntry> in = {Entry(u"odd.jpg", 3, 2, Noise, u"hi", 0x1'2345'6789ull),
                                           Entry(u"\u00e9.gif", 1, 1, Noise)};
  const std::vector<uint8_t> f = EncodeIndexCache(in, 200, 150, false);
  ASSERT_GE(f.size(), 48u);
  EXPECT_EQ(Tag(f, 0), "RIFF");
  EXPECT_EQ(Tag(f, 8), "VTIC");
  EXPECT_EQ(Tag(f, 12), "IFMT");
  EXPECT_EQ(Word(f, 16), 12u);
  EXPECT_EQ(Word(f, 20), 2u);                                 // word A: records
  EXPECT_EQ(Word(f, 24), 24u | 200u << 8 | 150u << 18);       // word B: plain coding
  const uint32_t decoded = 3 * 2 * 4 + 5 + 1 * 1 * 4 + 1;     // pixels, "hi" block, empty block
  EXPECT_EQ(Word(f, 28), decoded | 1u << 31);                 // word C: Latin-1, comments
  EXPECT_EQ(Tag(f, 32), "FREF");
  const uint32_t fref = Word(f, 36);
  EXPECT_EQ(fref, (25 + 7) + (25 + 5) + 0u);                  // 62: even already
  // First record: offset 0, alpha flag of an opaque picture, 3 x 2 in layout 1.
  EXPECT_EQ(Word(f, 40), 0u);
  EXPECT_EQ(Word(f, 44), 3u | 2u << 10 | 1u << 20 | 24u << 24);
  EXPECT_EQ(f[48] | f[49] << 8, 30);
  EXPECT_EQ(f[50] | f[51] << 8, 20);
  EXPECT_EQ(Word(f, 52), 0x23456789u);                        // the size's low half only
  EXPECT_EQ(Word(f, 56), 0x5678u | 0x1234u << 16);
  EXPECT_EQ(Word(f, 60), 0x01D90000u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[64]), 8), std::string("odd.jpg\0", 8));
  // Second record: its offset follows the first thumbnail and its comment blocks.
  EXPECT_EQ(Word(f, 72), 3u * 2 * 4 + 5);
  EXPECT_EQ(f[72 + 24], 0xE9);                                // "é" as one Latin-1 byte
  EXPECT_EQ(Tag(f, 40 + fref), "DATA");
  EXPECT_EQ(Word(f, 44 + fref), decoded);                     // even already
  EXPECT_EQ(Word(f, 4), 4 + (8 + 12) + (8 + fref) + (8 + decoded));
  EXPECT_EQ(f.size(), 8 + Word(f, 4));
  const size_t comment = 48 + fref + 24;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[comment]), 5), std::string("\1hi\0\0", 5));
  // Golden: any change of the writer's bytes shows here. The second file's
  // data stream was checked once against Pillow's GIF decoder (as one frame
  // of 128 x 96 indices, then summed back): it gives the pixels written.
  EXPECT_EQ(test::Fnv1a(f), 0xa766bcf366645070ull) << std::hex << test::Fnv1a(f);
  const std::vector<IndexCacheEntry> smooth = {Entry(u"s.jpg", 64, 48, Smooth)};
  EXPECT_EQ(test::Fnv1a(EncodeIndexCache(smooth, 160, 160)), 0x38560aeda641cfa1ull)
      << std::hex << test::Fnv1a(EncodeIndexCache(smooth, 160, 160));
}

// A file as another writer may make it: records of 3-byte pixels.
std::vector<uint8_t> LayoutZeroFile() {
  std::vector<uint8_t> f;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i))); };
  auto tag = [&](const char* t) { f.insert(f.end(), t, t + 4); };
  const uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2, 3 bytes each
  tag("RIFF"), u32(0), tag("VTIC");
  tag("IFMT"), u32(12), u32(1), u32(24 | 64 << 8 | 64 << 18), u32(sizeof pixels);
  tag("FREF"), u32(26);
  u32(0), u32(2 | 2 << 10 | 0 << 20 | 8 << 24);
  f.push_back(100), f.push_back(0), f.push_back(50), f.push_back(0);
  u32(77), u32(5), u32(6);
  f.push_back('p'), f.push_back(0);
  tag("DATA"), u32(sizeof pixels);
  f.insert(f.end(), pixels, pixels + sizeof pixels);
  const uint32_t riff = uint32_t(f.size() - 8);
  std::memcpy(&f[4], &riff, 4);
  return f;
}

TEST(IndexCacheFile, ReadsThreeBytePixelsOfLayoutZero) {
  IndexCacheContent c;
  ASSERT_TRUE(ParseIndexCache(LayoutZeroFile(), &c));
  CachedThumbnail t;
  ASSERT_TRUE(ExtractThumbnail(c, 0, &t));
  EXPECT_EQ(t.width, 100u);
  EXPECT_EQ(t.height, 50u);
  EXPECT_EQ(t.bitsPerPixel, 8u);
  ASSERT_EQ(t.thumbnail->Width(), 2u);
  const uint8_t* r0 = t.thumbnail->Row(0);
  const uint8_t* r1 = t.thumbnail->Row(1);
  EXPECT_EQ(std::vector<uint8_t>(r0, r0 + 8), (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
  EXPECT_EQ(std::vector<uint8_t>(r1, r1 + 8), (std::vector<uint8_t>{7, 8, 9, 255, 10, 11, 12, 255}));
  // Any other layout gives no thumbnail.
  c.records[0].layout = 2;
  EXPECT_FALSE(ExtractThumbnail(c, 0, &t));
}

TEST(IndexCacheFile, RefusesWhatIsNotACacheFile) {
  const std::vector<uint8_t> good = EncodeIndexCache(Entries(Entry(u"a.jpg", 4, 4, Smooth)), 160, 160, false);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
  };
  const Case cases[] = {
      {"not RIFF", [](auto& f) { f[0] = 'X'; }},
      {"another form", [](auto& f) { f[11] = 'X'; }},
      {"coding 1", [](auto& f) { f[27] = 0x10; }},
      {"coding 3", [](auto& f) { f[27] = 0x30; }},
      {"box width 0", [](auto& f) { f[25] = 0, f[26] &= 0xFC; }},
      {"record header under 24 bytes", [](auto& f) { f[24] = 20; }},
      {"no data chunk", [](auto& f) { f[40 + Word(f, 36)] = 'X'; }},
      {"no reference chunk", [](auto& f) { f[32] = 'X'; }},
      {"format chunk cut short", [](auto& f) { f[16] = 8; }},
      {"format after the data", [](auto& f) { f[12] = 'X'; f.insert(f.end(), {'I', 'F', 'M', 'T', 12, 0, 0, 0});
                                               f.insert(f.end(), f.begin() + 20, f.begin() + 32);
                                               uint32_t n = uint32_t(f.size() - 8); std::memcpy(&f[4], &n, 4); }},
      {"empty", [](auto& f) { f.clear(); }},
  };
  IndexCacheContent c;
  ASSERT_TRUE(ParseIndexCache(good, &c));
  for (const Case& k : cases) {
    std::vector<uint8_t> f = good;
    k.damage(f);
    EXPECT_FALSE(ParseIndexCache(f, &c)) << k.what;
  }
}

// Whatever part of a file survives, a thumbnail it gives is the one written.
void ExpectOnlyTrueThumbnails(const std::vector<IndexCacheEntry>& in, std::span<const uint8_t> bytes,
                              size_t* extracted) {
  IndexCacheContent c;
  if (!ParseIndexCache(bytes, &c)) return;
  ASSERT_LE(c.records.size(), in.size());
  for (size_t i = 0; i < c.records.size(); ++i) {
    CachedThumbnail t;
    if (!ExtractThumbnail(c, i, &t)) continue;
    ++*extracted;
    ASSERT_TRUE(SamePixels(*t.thumbnail, *in[i].thumbnail)) << "record " << i << " of a " << bytes.size()
                                                            << "-byte prefix";
  }
}

TEST(IndexCacheFile, EveryPrefixGivesOnlyTheThumbnailsItHolds) {
  const std::vector<IndexCacheEntry> in = {Entry(u"first.jpg", 30, 20, Smooth, u"one"),
                                           Entry(u"second.jpg", 25, 25, Noise),
                                           Entry(u"third.jpg", 16, 40, Smooth, u"three")};
  for (bool compress : {true, false}) {
    const std::vector<uint8_t> file = EncodeIndexCache(in, 160, 160, compress);
    size_t extracted = 0, full = 0;
    for (size_t n = 0; n < file.size(); ++n)
      ExpectOnlyTrueThumbnails(in, std::span(file).first(n), &extracted);
    ExpectOnlyTrueThumbnails(in, file, &full);
    EXPECT_EQ(full, 3u);
    // Prefixes that end inside the data still give the thumbnails before the cut.
    EXPECT_GT(extracted, file.size() / 4) << "compress " << compress;
  }
}

TEST(IndexCacheFile, CountsAndSizesThatLieCostOnlyWhatTheyTouch) {
  const std::vector<IndexCacheEntry> in = {Entry(u"a.jpg", 10, 10, Smooth), Entry(u"b.jpg", 10, 10, Smooth),
                                           Entry(u"c.jpg", 10, 10, Smooth)};
  const std::vector<uint8_t> good = EncodeIndexCache(in, 160, 160, false);
  const uint32_t fref = Word(good, 36);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    bool parses;
    size_t records, thumbnails;
  };
  auto set = [](std::vector<uint8_t>& f, size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  const Case cases[] = {
      {"count says more", [&](auto& f) { set(f, 20, 1000); }, true, 3, 3},
      {"count says fewer", [&](auto& f) { set(f, 20, 2); }, true, 2, 2},
      {"decoded size says less", [&](auto& f) { set(f, 28, 10 * 10 * 4 * 2 - 1); }, true, 3, 1},
      {"decoded size says more", [&](auto& f) { set(f, 28, 0x3FFFFFFF); }, true, 3, 3},
      {"reference chunk swallows the data", [&](auto& f) { set(f, 36, 0x7FFFFFF0); }, false, 0, 0},
      {"data chunk claims more", [&](auto& f) { set(f, 44 + fref, 0x7FFFFFF0); }, true, 3, 3},
      {"riff size says less", [&](auto& f) { set(f, 4, 4 + 20 + 8 + fref + 8 + 400 + 4); }, true, 3, 1},
      {"record offset points away", [&](auto& f) { set(f, 40 + 30, 0xFCFFFFFFu); }, true, 3, 2},
      {"a thumbnail wider than the box", [&](auto& f) { set(f, 40 + 4, 161 | 1 << 10 | 1 << 20 | 24 << 24); },
       true, 3, 2},
      {"a name without its end", [&](auto& f) { std::memset(&f[40 + 24], 'x', fref - 24); }, true, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    std::vector<uint8_t> f = good;
    k.damage(f);
    IndexCacheContent c;
    ASSERT_EQ(ParseIndexCache(f, &c), k.parses);
    EXPECT_EQ(c.records.size(), k.records);
    size_t thumbnails = 0;
    ExpectOnlyTrueThumbnails(in, f, &thumbnails);
    EXPECT_EQ(thumbnails, k.thumbnails);
  }
}

TEST(IndexCacheFile, LeavesOutWhatTheFormatCannotHold) {
  std::vector<IndexCacheEntry> in = {Entry(u"big.jpg", 1024, 2, Smooth), Entry(u"", 4, 4, Smooth),
                                     Entry(u"none.txt", 4, 4, Smooth), Entry(u"ok.jpg", 4, 4, Smooth)};
  in[2].thumbnail.reset();
  IndexCacheContent c;
  ASSERT_TRUE(ParseIndexCache(EncodeIndexCache(in, 160, 160), &c));
  ASSERT_EQ(c.records.size(), 1u);
  EXPECT_EQ(c.records[0].name, "ok.jpg");
  EXPECT_TRUE(EncodeIndexCache(in, 1024, 160).empty());
  EXPECT_TRUE(EncodeIndexCache(std::span(in).subspan(2, 1), 160, 160).empty());
}

class IndexCacheOnDisk : public ::testing::Test {
 protected:
  std::u16string Folder() const { return test::U16(dir.Path()); }
  std::string File() const { return dir.Path() + "/Vistrel.vti"; }
  test::TempDir dir;
};

TEST_F(IndexCacheOnDisk, SavesLoadsAndFindsByExactNameSizeAndTime) {
  IndexCache cache;
  ASSERT_TRUE(cache.SetFolder(Folder()));
  EXPECT_EQ(cache.Path(), Folder() + kPathSeparator + u"Vistrel.vti");
  const std::vector<IndexCacheEntry> in = {Entry(u"Photo.jpg", 20, 15, Smooth, u"\u7b14\u8bb0", 500, 77),
                                           Entry(u"\u00fcber.png", 9, 9, Noise, {}, 600, 88)};
  ASSERT_EQ(cache.Save(in, 160, 160), status::kOk);
  EXPECT_TRUE(cache.IsValid());
#ifdef _WIN32
  // Hidden on Windows, as it is replaced through a temporary file.
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(cache.Path().c_str()));
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
  ASSERT_EQ(cache.Save(in, 160, 160), status::kOk) << "a hidden file is replaced too";
#endif
  EXPECT_FALSE(test::FileExists(dir.Path() + "/.Vistrel~.vti"));

  struct Case {
    const char* what;
    uint32_t boxWidth, boxHeight;
    bool valid;
  };
  for (const Case& k : std::initializer_list<Case>{{"the window's box", 160, 160, true},
                                                   {"the file's box taken", 0, 0, true},
                                                   {"another box", 128, 128, false},
                                                   {"another height", 160, 128, false}}) {
    IndexCache again;
    again.SetFolder(Folder());
    uint32_t w = k.boxWidth, h = k.boxHeight;
    EXPECT_EQ(again.Load(&w, &h), k.valid) << k.what;
    if (k.valid) {
      EXPECT_EQ(w, 160u) << k.what;
    }
    EXPECT_EQ(again.IsValid(), k.valid);
  }

  IndexCache again;
  again.SetFolder(Folder());
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(again.Load(&w, &h));
  struct Find {
    const char16_t* name;
    uint64_t size, time;
    bool found;
  };
  for (const Find& k : std::initializer_list<Find>{{u"Photo.jpg", 500, 77, true},
                                                   {u"photo.jpg", 500, 77, false},
                                                   {u"Photo.jpg", 501, 77, false},
                                                   {u"Photo.jpg", 500 + (1ull << 32), 77, true},
                                                   {u"Photo.jpg", 500, 78, false},
                                                   {u"Photo.jpg", 500, 77 + (1ull << 32), false},
                                                   {u"\u00fcber.png", 600, 88, true},
                                                   {u"", 0, 0, false}}) {
    CachedThumbnail t;
    EXPECT_EQ(again.FindThumbnail(k.name, k.size, k.time, &t), k.found) << test::U8(k.name) << " " << k.size;
  }
  CachedThumbnail t;
  ASSERT_TRUE(again.FindThumbnail(u"Photo.jpg", 500, 77, &t));
  EXPECT_EQ(t.comment, u"\u7b14\u8bb0");
  EXPECT_TRUE(SamePixels(*t.thumbnail, *in[0].thumbnail));
  // A Latin-1 file cannot hold a name above U+00FF: no record matches it.
  EXPECT_FALSE(again.FindThumbnail(u"\u65c5.jpg", 500, 77, &t));

  // The file lost an image, and another changed.
  std::vector<IndexCacheEntry> now = {in[0]};
  EXPECT_EQ(again.CountRecordsWithout(now), 1u);
  now[0].lastWriteTime = 1;
  EXPECT_EQ(again.CountRecordsWithout(now), 2u);
}

TEST_F(IndexCacheOnDisk, EmptyFoldersDeleteAndFoldersWithoutImagesEmptyTheFile) {
  IndexCache cache;
  cache.SetFolder(Folder());
  ASSERT_EQ(cache.Save(Entries(Entry(u"a.jpg", 4, 4, Smooth)), 160, 160), status::kOk);
  ASSERT_TRUE(test::FileExists(File()));

  IndexCacheEntry text = Entry(u"notes.txt", 4, 4, Smooth);
  text.thumbnail.reset();
  ASSERT_EQ(cache.Save(Entries(text), 160, 160), status::kOk);
  EXPECT_EQ(test::ReadFileBytes(File()), "");
  EXPECT_FALSE(cache.IsValid());
  uint32_t w = 0, h = 0;
  EXPECT_FALSE(cache.Load(&w, &h));

  ASSERT_EQ(cache.Save({}, 160, 160), status::kOk);
  EXPECT_FALSE(test::FileExists(File()));

  cache.Save(Entries(Entry(u"a.jpg", 4, 4, Smooth)), 160, 160);
  cache.Remove();
  EXPECT_FALSE(test::FileExists(File()));
  EXPECT_FALSE(cache.IsValid());
}

TEST_F(IndexCacheOnDisk, AFailedWriteLeavesTheOldFile) {
  IndexCache cache;
  cache.SetFolder(Folder());
  ASSERT_EQ(cache.Save(Entries(Entry(u"a.jpg", 4, 4, Smooth)), 160, 160), status::kOk);
  const std::string before = test::ReadFileBytes(File());
  // The temporary file cannot be made: a folder stands in its place.
  std::filesystem::create_directory(dir.Path() + "/.Vistrel~.vti");
  EXPECT_TRUE(Failed(cache.Save(Entries(Entry(u"b.jpg", 8, 8, Noise)), 160, 160)));
  EXPECT_EQ(test::ReadFileBytes(File()), before);
}

TEST_F(IndexCacheOnDisk, ASaveAskedForIsNotDroppedByTheNextRun) {
  // Every worker of the pool is kept busy, so the save is still queued when
  // the window cancels its work for a new scan.
  Event release;
  TaskGroup blockers;
  std::atomic<uint32_t> started{0};
  const uint32_t workers = std::max<uint32_t>(2, SystemProcessorCount());
  for (uint32_t i = 0; i < workers; ++i) blockers.Run([&] {
      ++started;
      release.Wait();
    });
  while (started.load() < workers) std::this_thread::yield();

  IndexCache cache;
  cache.SetFolder(Folder());
  IndexWorker worker(GlobalFormatRegistry(), cache);
  std::atomic<int> reported{0};
  worker.StartSave(Entries(Entry(u"a.jpg", 4, 4, Smooth)), 160, 160,
                   [&](Status s) { reported = Succeeded(s) ? 1 : -1; });
  worker.Cancel();
  EXPECT_EQ(reported.load(), 1);
  EXPECT_TRUE(test::FileExists(File()));
  release.Set();
  blockers.Wait();
}

TEST_F(IndexCacheOnDisk, SavesAtTheSameTimeTakeTurns) {
  IndexCache cache;
  cache.SetFolder(Folder());
  const std::vector<IndexCacheEntry> a = Entries(Entry(u"a.jpg", 40, 30, Noise));
  const std::vector<IndexCacheEntry> b = Entries(Entry(u"b.jpg", 30, 40, Smooth));
  std::atomic<int> failures{0};
  auto saves = [&](const std::vector<IndexCacheEntry>& entries) {
    for (int i = 0; i < 25; ++i)
      if (Failed(cache.Save(entries, 160, 160))) ++failures;
  };
  std::thread first(saves, std::cref(a)), second(saves, std::cref(b));
  first.join();
  second.join();
  EXPECT_EQ(failures.load(), 0);
  IndexCache again;
  again.SetFolder(Folder());
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(again.Load(&w, &h));
  EXPECT_EQ(again.RecordCount(), 1u);
  EXPECT_FALSE(test::FileExists(dir.Path() + "/.Vistrel~.vti"));
}

TEST_F(IndexCacheOnDisk, PathsPastTheLimitAreNotSet) {
  IndexCache cache;
  const std::u16string fits(259 - 12, u'a');  // + separator + "Vistrel.vti" = 259
  EXPECT_TRUE(cache.SetFolder(fits));
  EXPECT_EQ(cache.Path().size(), 259u);
  EXPECT_TRUE(cache.SetFolder(fits + u"/"));
  EXPECT_FALSE(cache.SetFolder(fits + u"b"));
  EXPECT_EQ(cache.Path(), u"");
  uint32_t w = 0, h = 0;
  EXPECT_FALSE(cache.Load(&w, &h));
  EXPECT_TRUE(Failed(cache.Save(Entries(Entry(u"a.jpg", 4, 4, Smooth)), 160, 160)));
}

}  // namespace
}  // namespace vt
