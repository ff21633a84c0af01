#include "image/image_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "files/navigate.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::U16;

// A tiny format of our own: "TCAC", u16 width, u16 height, u8 fill value,
// u8 milliseconds to spend per row (to keep a load running), then anything.
std::atomic<int> g_decodes{0};

std::string EncodeTcac(uint16_t w, uint16_t h, uint8_t value, uint8_t msPerRow = 0,
                       size_t padTo = 0) {
  std::string s = "TCAC";
  s.push_back(char(w & 0xFF));
  s.push_back(char(w >> 8));
  s.push_back(char(h & 0xFF));
  s.push_back(char(h >> 8));
  s.push_back(char(value));
  s.push_back(char(msPerRow));
  if (s.size() < padTo) s.resize(padTo, '\0');
  return s;
}

class TcacReader : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override {
    ByteCursor c = FileCursor();
    if (!c.Skip(4)) return status::kDamaged;
    width_ = c.U16LE();
    height_ = c.U16LE();
    value_ = c.U8();
    msPerRow_ = c.U8();
    if (!c.Ok() || !width_ || !height_) return status::kDamaged;
    outputFormat_ = PixelFormat::Bgra8;
    bitDepth_ = 32;
    return status::kOk;
  }
  Status Decode(ImageBuffer* target, bool, ProgressSink* progress, const CancelFlag* cancel) override {
    g_decodes++;
    for (uint32_t y = 0; y < target->Height(); ++y) {
      if (IsCancelled(cancel)) return status::kCancelled;
      if (msPerRow_) std::this_thread::sleep_for(std::chrono::milliseconds(msPerRow_));
      std::memset(target->Row(y), value_, size_t{target->Width()} * 4);
      if (progress) progress->Report(y + 1, target->Height());
    }
    return status::kOk;
  }

 private:
  uint8_t value_ = 0;
  uint8_t msPerRow_ = 0;
};

Status ProbeTcac(const FileSource& s) {
  return s.Size() >= 4 && std::memcmp(s.Data(), "TCAC", 4) == 0 ? status::kOk
                                                                  : status::kUnknownFormat;
}
RefPtr<ImageReader> CreateTcac(FileSource* s, const FormatRecord* r) {
  return MakeRef<TcacReader>(s, r);
}

const FormatRegistry& Formats() {
  static const FormatRecord records[] = {{u"tca", u"Test cache format", ProbeTcac, CreateTcac},
                                         {u"raw", u"Test raw", ProbeTcac, CreateTcac}};
  static FormatRegistry* r = [] {
    auto* reg = new FormatRegistry();
    for (const auto& rec : records) reg->Register(&rec);
    return reg;
  }();
  return *r;
}

class RecordingSink : public ProgressSink {
 public:
  void LoadStarting() override { starts++; }
  void Report(uint32_t done, uint32_t total) override {
    if (done == total && total == 100) finished++;
  }
  std::atomic<int> starts{0};
  std::atomic<int> finished{0};
};

class ImageCacheTest : public ::testing::Test {
 protected:
  ImageCacheTest() : nav(&Formats()), cache(MakeRef<ImageCache>(&Formats(), &nav)) {}
  std::u16string Write(const std::string& name, const std::string& bytes) {
    return U16(dir.Write(name, bytes));
  }
  static uint8_t ValueOf(ImageBuffer* im) { return im->Row(0)[0]; }
  // Schedules and waits for the load to end however it ends.
  bool LoadAhead(const std::u16string& path, LoadMode mode, bool memoryCheck = false) {
    auto done = MakeRef<LoadCompletion>();
    if (!cache->ScheduleLoad(path, mode, memoryCheck, done)) return false;
    done->Done().Wait();
    return true;
  }

  TempDir dir;
  Navigator nav;
  RefPtr<ImageCache> cache;
};

TEST_F(ImageCacheTest, ForegroundLoadStoreAndLookup) {
  const auto a = Write("a.tca", EncodeTcac(4, 3, 7));
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadPath(&im, a), status::kOk);
  ASSERT_TRUE(im);
  EXPECT_EQ(ValueOf(im.get()), 7);
  EXPECT_EQ(cache->Count(), 0u);  // the viewer decides what to keep
  cache->Store(im.get(), false);
  cache->Store(im.get(), false);  // once only
  EXPECT_EQ(cache->Count(), 1u);
  EXPECT_EQ(cache->Lookup(a).get(), im.get());

  const int before = g_decodes.load();
  RefPtr<ImageBuffer> again;
  ASSERT_EQ(cache->LoadPath(&again, a), status::kOk);
  EXPECT_EQ(again.get(), im.get());
  EXPECT_EQ(g_decodes.load(), before);

  // Into the caller's own buffer: converted, same pixels.
  RefPtr<ImageBuffer> mine = ImageBuffer::Create(PixelFormat::Bgra8, 4, 3);
  ASSERT_EQ(cache->LoadPath(&mine, a), status::kOk);
  EXPECT_NE(mine.get(), im.get());
  EXPECT_EQ(ValueOf(mine.get()), 7);

  CancelFlag cancel;
  cancel.Set();
  RefPtr<ImageBuffer> none;
  EXPECT_EQ(cache->LoadPath(&none, a, 0, nullptr, &cancel), status::kCancelled);
  EXPECT_EQ(cache->LoadPath(&none, Write("bad.tca", "TCAC")), status::kDamaged);
}

TEST_F(ImageCacheTest, ReplacedFileIsNotServed) {
  const auto a = Write("a.tca", EncodeTcac(4, 3, 1));
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadPath(&im, a), status::kOk);
  cache->Store(im.get(), false);
  // A new size.
  Write("a.tca", EncodeTcac(4, 3, 2, 0, 64));
  EXPECT_FALSE(cache->Lookup(a));
  RefPtr<ImageBuffer> fresh;
  ASSERT_EQ(cache->LoadPath(&fresh, a), status::kOk);
  EXPECT_EQ(ValueOf(fresh.get()), 2);

  // Same size, a time a second later.
  auto when = fs::last_write_time(test::U8(a));
  Write("a.tca", EncodeTcac(4, 3, 3, 0, 64));
  fs::last_write_time(test::U8(a), when + std::chrono::seconds(1));
  cache->Store(fresh.get(), false);
  EXPECT_FALSE(cache->Lookup(a));

#ifndef _WIN32
  // Same size, same second: a read-ahead entry knows the exact time. (Under
  // Wine a time set one microsecond later reads back unchanged.)
  ASSERT_TRUE(LoadAhead(a, LoadMode::File));
  ASSERT_TRUE(cache->Lookup(a));
  when = fs::last_write_time(test::U8(a));
  Write("a.tca", EncodeTcac(4, 3, 4, 0, 64));
  fs::last_write_time(test::U8(a), when + std::chrono::microseconds(1));
  RefPtr<ImageBuffer> hit = cache->Lookup(a);
  EXPECT_FALSE(hit && ValueOf(hit.get()) == 3);
#endif
  // A file that is gone matches nothing.
  fs::remove(test::U8(a));
  EXPECT_FALSE(cache->Lookup(a));
}

TEST_F(ImageCacheTest, CapacityAndOrder) {
  std::vector<RefPtr<ImageBuffer>> images;
  for (int i = 0; i < 4; ++i) {
    RefPtr<ImageBuffer> im;
    ASSERT_EQ(cache->LoadPath(&im, Write("i" + std::to_string(i) + ".tca", EncodeTcac(2, 2, i))),
              status::kOk);
    images.push_back(im);
  }
  EXPECT_EQ(cache->Capacity(), 3u);
  cache->Store(images[0].get(), false);
  cache->Store(images[1].get(), false);
  cache->Store(images[2].get(), false);
  // Using the oldest moves it to the front, so the next store drops the second.
  EXPECT_TRUE(cache->Lookup(U16(dir.Path() + "/i0.tca")));
  cache->Store(images[3].get(), false);
  EXPECT_EQ(cache->Count(), 3u);
  EXPECT_FALSE(cache->Lookup(U16(dir.Path() + "/i1.tca")));
  EXPECT_TRUE(cache->Lookup(U16(dir.Path() + "/i0.tca")));
  // A store at the end is the first to go.
  cache->Store(images[1].get(), true);
  cache->Store(images[1].get(), false);
  cache->SetCapacity(1);
  EXPECT_EQ(cache->Count(), 1u);
  cache->SetCapacity(100);
  EXPECT_EQ(cache->Capacity(), ImageCache::kMaxCapacity);
  cache->SetCapacity(0);
  EXPECT_EQ(cache->Capacity(), 1u);
  // The all-frames switch flushes.
  cache->SetCapacity(3);
  cache->Store(images[2].get(), false);
  cache->SetAllFrames(cache->AllFrames());
  EXPECT_EQ(cache->Count(), 2u);
  cache->SetAllFrames(!cache->AllFrames());
  EXPECT_EQ(cache->Count(), 0u);
}

TEST_F(ImageCacheTest, ReadAheadNeighbours) {
  const auto a = Write("p1.tca", EncodeTcac(2, 2, 1));
  Write("p2.tca", EncodeTcac(2, 2, 2));
  const auto c = Write("p10.tca", EncodeTcac(2, 2, 10));
  Write("notes.txt", "not an image");
  ASSERT_TRUE(LoadAhead(a, LoadMode::Next));
  RefPtr<ImageBuffer> hit = cache->Lookup(U16(dir.Path() + "/p2.tca"));
  ASSERT_TRUE(hit);
  EXPECT_EQ(ValueOf(hit.get()), 2);
  EXPECT_EQ(cache->LastDirection(), 1);

  ASSERT_TRUE(LoadAhead(a, LoadMode::Previous));  // nothing before p1
  EXPECT_EQ(cache->LastDirection(), 1);
  ASSERT_TRUE(LoadAhead(c, LoadMode::Previous));
  EXPECT_EQ(cache->LastDirection(), 2);
  // Continuing backwards from the first file wraps to the last.
  ASSERT_TRUE(LoadAhead(a, LoadMode::SameDirection));
  EXPECT_TRUE(cache->Lookup(c));
  // A file that is cached already is not scheduled again.
  EXPECT_FALSE(cache->ScheduleLoad(c, LoadMode::File, false));
}

TEST_F(ImageCacheTest, RawFilesAndShortMemory) {
  const int before = g_decodes.load();
  ASSERT_TRUE(LoadAhead(Write("photo.RAW", EncodeTcac(2, 2, 1)), LoadMode::File));
  EXPECT_EQ(cache->Count(), 0u);
  EXPECT_EQ(g_decodes.load(), before);

  cache->SetMemoryProbe([]() -> uint64_t { return uint64_t{100} << 20; });
  const auto big = Write("big.tca", EncodeTcac(2, 2, 1, 0, 2 << 20));      // needs 128 MiB
  const auto small = Write("small.tca", EncodeTcac(2, 2, 1, 0, 1 << 20));  // needs 64 MiB
  ASSERT_TRUE(LoadAhead(big, LoadMode::File, true));
  EXPECT_FALSE(cache->Lookup(big));
  ASSERT_TRUE(LoadAhead(small, LoadMode::File, true));
  EXPECT_TRUE(cache->Lookup(small));
  ASSERT_TRUE(LoadAhead(big, LoadMode::File, false));  // no check asked
  EXPECT_TRUE(cache->Lookup(big));

  EXPECT_TRUE(cache->MemoryIsShort(nullptr, nullptr));  // 512 MiB
  RefPtr<ImageBuffer> im = ImageBuffer::Create(PixelFormat::Bgra8, 1024, 1024);   // 64 MiB
  RefPtr<ImageBuffer> im2 = ImageBuffer::Create(PixelFormat::Bgra8, 1024, 2048);  // 128 MiB
  RefPtr<ImageBuffer> ix = ImageBuffer::Create(PixelFormat::Indexed8, 1024, 2048);  // 32 MiB
  EXPECT_FALSE(cache->MemoryIsShort(im.get(), nullptr));
  EXPECT_TRUE(cache->MemoryIsShort(im2.get(), nullptr));
  EXPECT_FALSE(cache->MemoryIsShort(ix.get(), nullptr));
  const std::u16string missing = U16(dir.Path() + "/missing.tca");
  EXPECT_FALSE(cache->MemoryIsShort(nullptr, &missing));
}

TEST_F(ImageCacheTest, LoadingAFileBeingReadAheadWaitsForIt) {
  const auto slow = Write("slow.tca", EncodeTcac(8, 40, 9, 3));
  auto sink = MakeRef<RecordingSink>();
  const int before = g_decodes.load();
  ASSERT_TRUE(cache->ScheduleLoad(slow, LoadMode::File, false));
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadPath(&im, slow, 0, sink.get()), status::kOk);
  EXPECT_EQ(ValueOf(im.get()), 9);
  EXPECT_EQ(g_decodes.load(), before + 1);  // one decode, not two
  EXPECT_EQ(cache->Lookup(slow).get(), im.get());
  EXPECT_GE(sink->starts.load(), 1);
  EXPECT_GE(sink->finished.load(), 1);  // the load's own progress reached the joiner
  EXPECT_EQ(cache->PendingCount(), 0u);
}

// The thread that waits for a running read-ahead gets its turn now and then
// while the load reports, so a window can show the reports as they come.
TEST_F(ImageCacheTest, WaitingForAReadAheadLetsTheWaiterApplyReports) {
  class WaitingSink : public ProgressSink {
   public:
    void Report(uint32_t done, uint32_t) override { latest = done; }
    void Waiting() override {
      EXPECT_EQ(std::this_thread::get_id(), waiter);
      seen.push_back(latest.load());
    }
    const std::thread::id waiter = std::this_thread::get_id();
    std::atomic<uint32_t> latest{0};
    std::vector<uint32_t> seen;  // the waiter's own
  };
  // Told when a worker has the load; a waiter would otherwise run a load
  // still queued itself, reporting on its own thread.
  class StartedSink : public ProgressSink {
   public:
    void Report(uint32_t, uint32_t) override { started.Set(); }
    Event started;
  };
  const auto slow = Write("slower.tca", EncodeTcac(8, 40, 5, 8));  // some 320 ms
  auto sink = MakeRef<WaitingSink>();
  auto started = MakeRef<StartedSink>();
  ASSERT_TRUE(cache->ScheduleLoad(slow, LoadMode::File, false, nullptr, started));
  started->started.Wait();
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadPath(&im, slow, 0, sink.get()), status::kOk);
  EXPECT_EQ(ValueOf(im.get()), 5);
  ASSERT_GE(sink->seen.size(), 3u);
  EXPECT_EQ(sink->seen.back(), sink->latest.load());  // a last turn once the load ended
  EXPECT_TRUE(std::any_of(sink->seen.begin(), sink->seen.end(), [](uint32_t n) { return n > 0 && n < 40; }));
}

TEST_F(ImageCacheTest, LoadReaderUsesTheCacheToo) {
  const auto a = Write("r.tca", EncodeTcac(3, 3, 5));
  RefPtr<ImageReader> reader;
  ASSERT_EQ(Formats().OpenReader(a, &reader), status::kOk);
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadReader(&im, reader.get()), status::kOk);
  EXPECT_EQ(ValueOf(im.get()), 5);
  cache->Store(im.get(), true);
  RefPtr<ImageBuffer> again;
  const int before = g_decodes.load();
  ASSERT_EQ(cache->LoadReader(&again, reader.get()), status::kOk);
  EXPECT_EQ(again.get(), im.get());
  EXPECT_EQ(g_decodes.load(), before);
  EXPECT_EQ(cache->LoadReader(&again, nullptr), status::kInvalidArgument);
}

TEST_F(ImageCacheTest, LoadingAnotherFileCancelsReadAhead) {
  const auto slow = Write("slow.tca", EncodeTcac(8, 200, 9, 5));  // a second of decoding
  const auto other = Write("other.tca", EncodeTcac(2, 2, 4));
  auto done = MakeRef<LoadCompletion>();
  ASSERT_TRUE(cache->ScheduleLoad(slow, LoadMode::File, false, done));
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadPath(&im, other), status::kOk);
  EXPECT_TRUE(done->Done().IsSet());
  EXPECT_FALSE(cache->Lookup(slow));
  EXPECT_EQ(cache->PendingCount(), 0u);
  cache->Join();  // nothing pending: returns at once
}

// A hint that hands back a one-row image holding the decoded image's first
// byte plus one, or spins until the load is cancelled.
class TestHint : public RenderHint {
 public:
  explicit TestHint(bool waitForCancel = false) : waitForCancel_(waitForCancel) {}
  RefPtr<ImageBuffer> Prepare(ImageBuffer* image, const CancelFlag* cancel) const override {
    calls++;
    if (waitForCancel_) {
      started.Set();
      while (!IsCancelled(cancel)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return ImageBuffer::Create(PixelFormat::Bgra8, 1, 1, false);
    }
    RefPtr<ImageBuffer> out = ImageBuffer::Create(PixelFormat::Bgra8, 1, 1, false);
    out->Row(0)[0] = static_cast<uint8_t>(image->Row(0)[0] + 1);
    return out;
  }
  mutable std::atomic<int> calls{0};
  mutable Event started;

 private:
  bool waitForCancel_;
};

TEST_F(ImageCacheTest, RenderHintResultIsKeptWithTheEntryAndHandedOutOnce) {
  const auto a = Write("a.tca", EncodeTcac(4, 4, 7));
  const auto b = Write("b.tca", EncodeTcac(4, 4, 8));
  auto hint = MakeRef<TestHint>();
  auto done = MakeRef<LoadCompletion>();
  ASSERT_TRUE(cache->ScheduleLoad(a, LoadMode::File, false, done, nullptr, hint));
  done->Done().Wait();
  EXPECT_EQ(hint->calls.load(), 1);
  RefPtr<ImageBuffer> im = cache->Lookup(a);
  ASSERT_TRUE(im);
  RefPtr<ImageBuffer> prepared = cache->TakePrepared(im.get());
  ASSERT_TRUE(prepared);
  EXPECT_EQ(prepared->Row(0)[0], 8);
  EXPECT_FALSE(cache->TakePrepared(im.get()));  // once only
  EXPECT_EQ(cache->Lookup(a).get(), im.get());  // the image itself stays

  // Without a hint, and for images the cache did not load, there is nothing.
  ASSERT_TRUE(LoadAhead(b, LoadMode::File));
  EXPECT_FALSE(cache->TakePrepared(cache->Lookup(b).get()));
  RefPtr<ImageBuffer> stored = ImageBuffer::Create(PixelFormat::Bgra8, 2, 2, false);
  EXPECT_FALSE(cache->TakePrepared(stored.get()));
  EXPECT_FALSE(cache->TakePrepared(nullptr));
}

TEST_F(ImageCacheTest, RenderHintIsCancelledWithTheReadAhead) {
  const auto a = Write("a.tca", EncodeTcac(4, 4, 7));
  const auto other = Write("other.tca", EncodeTcac(2, 2, 4));
  auto hint = MakeRef<TestHint>(true);
  auto done = MakeRef<LoadCompletion>();
  ASSERT_TRUE(cache->ScheduleLoad(a, LoadMode::File, false, done, nullptr, hint));
  hint->started.Wait();
  // Loading another file cancels the read-ahead while it prepares: neither
  // the image nor what the hint made is kept.
  RefPtr<ImageBuffer> im;
  ASSERT_EQ(cache->LoadPath(&im, other), status::kOk);
  EXPECT_TRUE(done->Done().IsSet());
  EXPECT_FALSE(cache->Lookup(a));
  EXPECT_EQ(cache->PendingCount(), 0u);
}

// Lookups, hand-outs and cancels from other threads while hinted loads run.
TEST_F(ImageCacheTest, HintedLoadsRaceWithLookups) {
  std::vector<std::u16string> files;
  for (int i = 0; i < 8; ++i) files.push_back(Write("h" + std::to_string(i) + ".tca", EncodeTcac(16, 16, uint8_t(i))));
  cache->SetCapacity(ImageCache::kMaxCapacity);
  auto hint = MakeRef<TestHint>();
  std::atomic<bool> stop{false};
  std::atomic<int> taken{0};
  std::thread reader([&] {
    while (!stop.load()) {
      for (const auto& f : files) {
        if (RefPtr<ImageBuffer> im = cache->Lookup(f)) {
          if (RefPtr<ImageBuffer> p = cache->TakePrepared(im.get())) {
            EXPECT_EQ(p->Row(0)[0], im->Row(0)[0] + 1);
            taken++;
          }
        }
      }
    }
  });
  for (int round = 0; round < 4; ++round) {
    for (const auto& f : files) cache->ScheduleLoad(f, LoadMode::File, false, nullptr, nullptr, hint);
    if (round % 2) cache->Join();  // cancels
    else cache->Join(&files.back());  // waits
  }
  cache->Join(&files.back());
  stop = true;
  reader.join();
  EXPECT_GT(hint->calls.load(), 0);
  EXPECT_LE(taken.load(), hint->calls.load());
}

// Many loads scheduled at once, joined by cancelling or waiting, from a cache
// in steady use; then a cache destroyed with loads running.
TEST_F(ImageCacheTest, ManyLoadsScheduledAndJoined) {
  std::vector<std::u16string> files;
  for (int i = 0; i < 12; ++i) {
    files.push_back(Write("m" + std::to_string(i) + ".tca", EncodeTcac(16, 16, i, i % 3)));
  }
  cache->SetCapacity(8);
  std::vector<RefPtr<LoadCompletion>> events;
  for (int round = 0; round < 4; ++round) {
    for (size_t i = 0; i < files.size(); ++i) {
      auto e = MakeRef<LoadCompletion>();
      const LoadMode mode = static_cast<LoadMode>((i + round) % 4);
      if (cache->ScheduleLoad(files[i], mode, false, e)) events.push_back(e);
    }
    if (round % 2) {
      cache->Join();  // cancel everything
    } else {
      RefPtr<ImageBuffer> im;
      EXPECT_EQ(cache->LoadPath(&im, files[round]), status::kOk);
      EXPECT_EQ(ValueOf(im.get()), round);
    }
    cache->Join();
  }
  for (auto& e : events) EXPECT_TRUE(e->Done().IsSet());
  EXPECT_LE(cache->Count(), 8u);
  EXPECT_EQ(cache->PendingCount(), 0u);
}

TEST_F(ImageCacheTest, DestroyedWhileLoadsRun) {
  std::vector<RefPtr<LoadCompletion>> events;
  for (int i = 0; i < 10; ++i) {
    auto e = MakeRef<LoadCompletion>();
    const auto f = Write("d" + std::to_string(i) + ".tca", EncodeTcac(8, 200, i, 5));
    ASSERT_TRUE(cache->ScheduleLoad(f, i % 2 ? LoadMode::Next : LoadMode::File, false, e));
    events.push_back(e);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  cache.reset();
  for (auto& e : events) EXPECT_TRUE(e->Done().IsSet());
}

}  // namespace
}  // namespace vt
