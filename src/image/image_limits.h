#pragma once
// How large a decoded image may be, and how a file's pixel data must relate to
// the image its header declares.
//
// A header is a few bytes that can name any size. Two rules keep a small file
// from making the viewer allocate gigabytes only to show zeros:
// - absolute caps on one frame (sides, pixels, bytes) and on the frames of one
//   file (their count and their planes together);
// - the pixel data must plausibly decode to the declared image: the fewest
//   stored bytes that could code the declared pixels, at the coding's best
//   possible ratio, must nearly be in the file. A truncated file that holds a
//   real share of its data still passes and shows the part that arrived.
// The load pipeline checks both once a reader has read its header (and before
// any plane exists); readers that size things while parsing call the same
// functions.
#include <cstdint>

#include "base/status.h"

namespace vt {

struct ImageLimits {
  uint32_t maxSide;          // pixels across or down one frame
  uint64_t maxPixels;        // pixels of one frame
  uint64_t maxFrameBytes;    // one frame's plane, or a reader's whole-image scratch
  uint32_t maxFrames;        // frames and pages of one file
  uint64_t maxChainBytes;    // the planes of all frames of one file together
};

// A gigapixel of 32-bit pixels is the largest plane; 2^24 a side covers every
// format's own maximum that a real file reaches. Animations stop at 8192
// frames or a gigabyte of frame planes, whichever comes first.
inline constexpr ImageLimits kImageLimits{
    uint32_t{1} << 24, uint64_t{1} << 30, uint64_t{1} << 32, 8192, uint64_t{1} << 30,
};

// Whether a frame of this size (and bytes per pixel of its plane) is within
// the frame limits.
bool WithinFrameLimits(uint64_t width, uint64_t height, uint32_t bytesPerPixel);

// The most decoded bytes a coding can produce from `stored` bytes: for every
// format a named constant next to its reader says why.
struct BestRatio {
  uint64_t decoded;
  uint64_t stored;
};
// Uncompressed data: every decoded byte is a stored byte.
inline constexpr BestRatio kStoredPlain{1, 1};
// No bound follows from the coding (an entropy coder whose probability
// estimates can make a symbol cost almost nothing): only the size caps apply.
inline constexpr BestRatio kNoRatioBound{0, 0};

// A file may hold as little as this share (one part in kTruncatedShare) of the
// fewest stored bytes its pixels need and still decode as a truncated file.
inline constexpr uint64_t kTruncatedShare = 16;
// Pixel data that decode to at most this many bytes are never refused: so
// little allocation needs no evidence, and a header alone may ask for it.
inline constexpr uint64_t kAlwaysPlausibleBytes = uint64_t{64} << 10;

// What a header says about its pixel data: `declared` bytes once decoded (in
// the format's own layout), coded at best with `best`, of which the file
// holds `present` stored bytes.
struct PixelDataClaim {
  uint64_t declared = 0;
  uint64_t present = 0;
  BestRatio best = kStoredPlain;
};

// Whether a file could be what its header claims (see above).
bool PixelDataPlausible(const PixelDataClaim& claim);

// Counts the frames of one file against the chain limits as a reader links
// them; the first frame counts too.
class FrameBudget {
 public:
  // False when a frame of this size would pass the frame count or the bytes
  // of the chain; the frame is then not counted and the chain ends before it.
  bool Admit(uint64_t width, uint64_t height, uint32_t bytesPerPixel);
  uint32_t Frames() const { return frames_; }

  // What a frame costs: its plane with row slack and a fixed share for its
  // reader and buffer objects.
  static uint64_t FrameCost(uint64_t width, uint64_t height, uint32_t bytesPerPixel);

 private:
  uint32_t frames_ = 0;
  uint64_t bytes_ = 0;
};

}  // namespace vt
