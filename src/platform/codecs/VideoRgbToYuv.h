#pragma once
// 24-bit B, G, R rows into full-range ("J") 4:2:2 planes, byte for byte what libswscale
// makes of them with the flags the compressors use (bicubic, full chroma input,
// accurate rounding, bit-exact; BT.601 coefficients; limited-range conversion widened
// to full range afterwards) — only faster: Motion JPEG compresses every film frame.
//
// The steps are swscale's own integer arithmetic: luma from the pixel, chroma from
// every pixel filtered 2:1 with swscale's bicubic filter (made the same way), both
// widened from limited to full range, rounded to bytes. The caller checks the result
// against swscale once (see Matches) and keeps to swscale where it differs. Internal
// to src/platform/codecs.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace movara::videoff {

class TBgrToYuvj422 {
 public:
  // Sets up for rows of width pixels; false for a width not done here.
  bool Init(int width);
  int Width() const { return w_; }
  // One row: width pixels of B, G, R into width luma and (width + 1) / 2 of each chroma.
  void Row(const uint8_t* bgr, uint8_t* y, uint8_t* u, uint8_t* v);

 private:
  void ChromaScalar(int from, int to, const int16_t* src, uint8_t* out) const;

  int w_ = 0, cw_ = 0;
  int taps_ = 0;                 // coefficients per chroma pixel
  std::vector<int32_t> pos_;     // first source pixel of each chroma pixel
  std::vector<int16_t> coef_;    // taps_ per chroma pixel
  // Chroma pixels first_..last_ - 1 sit at 2k + base with the coefficients of the middle
  // one (all but a few at the edges).
  int first_ = 0, last_ = 0;
  int base_ = 0;
  std::vector<int16_t> pairs_;   // the middle coefficients in pairs, for the vector path
  std::vector<int16_t> uRow_, vRow_;
};

// Switches for tests: the vector steps of TBgrToYuvj422 (off: its plain loops), and
// the compressors' use of it at all (off: swscale alone).
void EnableYuvVector(bool on);
void EnableFastYuv(bool on);
bool FastYuvEnabled();

}  // namespace movara::videoff
