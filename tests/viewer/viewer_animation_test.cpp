// Animations played by the window's timer, from files written by other
// encoders: looping ones start again after their last frame for as long as
// their loop count says, and the frame chain stays whole while it plays.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr int kFrames = 4;
// Distinct solid colours, red green blue, one per frame.
constexpr uint32_t kFrameColours[kFrames] = {0xE01010, 0x10E010, 0x1010E0, 0xE0E010};

struct AnimationCase {
  const char* name;
  // Linux: how the file is made with a real encoder from the frames
  // f0.png..f3.png in the folder; %s is the output file. Empty: a corpus file.
  const char* make;
  const char* corpusFile;
  uint32_t plays;  // 0 = for ever
};

// The frames the window shows while its animation timer runs, as indices into
// the chain, until the timer stops or `limit` frames were shown.
std::vector<int> PlayedFrames(HeadlessPlatform& platform, ViewerWindow* w, size_t limit) {
  std::vector<int> shown;
  auto index = [&] {
    int i = 0;
    for (ImageBuffer* f = w->View()->FirstFrame(); f && f != w->View()->SourceImage();
         f = f->Next())
      ++i;
    return i;
  };
  shown.push_back(index());
  HeadlessWindow* n = static_cast<HeadlessWindow*>(w->Window());
  while (shown.size() < limit && n->HasTimer(ViewerWindow::kAnimationTimer)) {
    platform.AdvanceTime(static_cast<uint64_t>(n->TimerRemaining(ViewerWindow::kAnimationTimer)));
    const int now = index();
    // The tick that finds no further frame stops the timer and leaves the frame.
    if (!n->HasTimer(ViewerWindow::kAnimationTimer) && now == shown.back()) break;
    shown.push_back(now);
  }
  return shown;
}

class ViewerAnimationTest : public ViewerFixture,
                            public ::testing::WithParamInterface<AnimationCase> {};

TEST_P(ViewerAnimationTest, LoopsAsOftenAsTheFileSays) {
  const AnimationCase& c = GetParam();
  Options().viewerTitleBar = 0;
  std::string path;
  if (c.make[0]) {
#ifdef _WIN32
    GTEST_SKIP() << "the encoders run on the build machine";
#else
    for (int i = 0; i < kFrames; ++i) {
      char colour[8];
      std::snprintf(colour, sizeof colour, "#%06X", kFrameColours[i]);
      const std::string cmd = "/usr/bin/convert -size 24x16 'xc:" + std::string(colour) +
                              "' PNG24:'" + dir.Path() + "/f" + std::to_string(i) + ".png'";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << "ImageMagick's convert is needed: " << cmd;
    }
    path = dir.Path() + "/" + c.name;
    char command[1024];
    std::snprintf(command, sizeof command, c.make, path.c_str());
    const std::string cmd = "cd '" + dir.Path() + "' && " + command + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "the encoder is needed: " << command;
#endif
  } else {
    path = CorpusPath(c.corpusFile);
    ASSERT_TRUE(FileExists(path)) << path;
  }

  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  ImageBuffer* first = w->View()->FirstFrame();
  ASSERT_NE(first, nullptr);
  const uint32_t frames = first->ChainLength();
  ASSERT_GE(frames, 2u);
  const size_t limit = c.plays ? 1000 : 3 * frames + 2;
  const std::vector<int> shown = PlayedFrames(platform, w, limit);

  // Frame after frame, round and round.
  for (size_t i = 0; i < shown.size(); ++i) ASSERT_EQ(shown[i], static_cast<int>(i % frames)) << i;
  if (c.plays == 0) {
    EXPECT_EQ(shown.size(), limit);  // still playing
    EXPECT_TRUE(Native(w)->HasTimer(ViewerWindow::kAnimationTimer));
  } else {
    EXPECT_EQ(shown.size(), size_t{c.plays} * frames);  // and then it rests on its last frame
    EXPECT_FALSE(Native(w)->HasTimer(ViewerWindow::kAnimationTimer));
  }
  // The chain is whole still: its first frame leads to the last one shown.
  EXPECT_EQ(w->View()->FirstFrame(), first);
  EXPECT_EQ(first->ChainLength(), frames);
  EXPECT_EQ(w->View()->SourceImage()->First(), first);
  if (c.make[0]) {
    const uint32_t last = kFrameColours[shown.back()];
    const ViewSize client = Native(w)->ClientSize();
    EXPECT_EQ(Native(w)->Pixel(client.width / 2, client.height / 2), 0xFF000000u | last);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, ViewerAnimationTest,
    ::testing::Values(
        AnimationCase{"forever.gif",
                      "/usr/bin/convert -delay 10 -loop 0 f0.png f1.png f2.png f3.png %s", "", 0},
        AnimationCase{"three.gif",
                      "/usr/bin/convert -delay 10 -loop 3 f0.png f1.png f2.png f3.png %s", "", 3},
        AnimationCase{"forever.webp", "img2webp -loop 0 -d 100 f0.png f1.png f2.png f3.png -o %s",
                      "", 0},
        AnimationCase{"three.webp", "img2webp -loop 3 -d 100 f0.png f1.png f2.png f3.png -o %s", "",
                      3},
        AnimationCase{"forever.png", "apngasm %s f0.png f1.png f2.png f3.png 1 10", "", 0},
        AnimationCase{"three.png", "apngasm %s f0.png f1.png f2.png f3.png 1 10 -l3", "", 3},
        AnimationCase{"gif_loop", "", "gif/peterdn/gifs/animated_loop.gif", 0},
        AnimationCase{"gif_noloop", "", "gif/peterdn/gifs/animated_noloop.gif", 1},
        AnimationCase{"apng_num_plays", "", "pillow/Tests/images/apng/num_plays.png", 0},
        AnimationCase{"apng_num_plays_1", "", "pillow/Tests/images/apng/num_plays_1.png", 1}),
    [](const ::testing::TestParamInfo<AnimationCase>& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (ch == '.') ch = '_';
      return name;
    });

}  // namespace
}  // namespace vt::test
