#pragma once
// The JPEG decoder of ITU-T T.81: baseline and extended sequential and
// progressive processes with Huffman or arithmetic coding, 8-bit samples.
// Hierarchical and lossless processes are refused.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/cancel.h"
#include "base/status.h"
#include "image/colour_models.h"
#include "image/image_buffer.h"

namespace vt {

class ProgressSink;

// A progressive (or multi-scan sequential) stream may hold at most this many
// scans. Each scan visits every block of its components, so a small file of
// empty scans could otherwise keep a decode busy for minutes.
inline constexpr uint32_t kJpegMaxScans = 1000;
// Largest coefficient store of a buffered (progressive) image: 64 16-bit
// coefficients per block of every component.
inline constexpr uint64_t kJpegMaxCoefficientBytes = uint64_t{3} << 30;

class JpegDecoder {
 public:
  explicit JpegDecoder(std::span<const uint8_t> data);
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // Reads the tables and the frame header up to the first scan.
  Status ReadHeader();
  // Decodes every scan into out (reduced: one pixel per block). bytesPerPixel
  // is 1 for one component, 4 otherwise. allowParallel lets large sequential
  // images use the two-thread row pipeline.
  Status Decode(const PlaneView& out, uint32_t bytesPerPixel, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel, bool allowParallel = true);

  uint32_t Width() const;
  uint32_t Height() const;
  uint32_t Components() const;
  ColourModel Model() const;
  // Whether the last Decode ran the two-thread pipeline.
  bool UsedParallel() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace vt
