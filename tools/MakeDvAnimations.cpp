// Makes the two looping animations of the DV windows into a folder: FireWire.AVI (a
// cable plug with data running along it, shown while the camera is captured) and
// Record.AVI (a tape with a pulsing record mark, shown while recording). Small MJPEG
// clips of 96 x 72 at 10 frames per second, written by our own AVI writer.
#include <cmath>
#include <cstdio>
#include <string>

#include "base/Dib.h"
#include "platform/avifile/AviFile.h"
#include "platform/codecs/VideoCompressor.h"

using namespace movara;

namespace {

constexpr int kW = 96, kH = 72, kFrames = 16;

void FillRect(TDIB& d, int x0, int y0, int x1, int y1, TColor c) {
  for (int y = std::max(y0, 0); y < std::min(y1, kH); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, kW); ++x) d.SetPixel(x, y, c);
}

void FillCircle(TDIB& d, double cx, double cy, double r, TColor c) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) d.SetPixel(x, y, c);
}

TDIB FireWireFrame(int n) {
  TDIB d(kW, kH, 24);
  FillRect(d, 0, 0, kW, kH, RGBColor(236, 236, 236));
  // camera body and lens
  FillRect(d, 6, 22, 34, 50, RGBColor(60, 60, 70));
  FillCircle(d, 20, 36, 8, RGBColor(30, 30, 40));
  FillCircle(d, 20, 36, 4, RGBColor(80, 110, 200));
  // computer screen
  FillRect(d, 62, 18, 90, 44, RGBColor(60, 60, 70));
  FillRect(d, 65, 21, 87, 41, RGBColor(70, 130, 220));
  FillRect(d, 72, 44, 80, 50, RGBColor(60, 60, 70));
  FillRect(d, 66, 50, 86, 53, RGBColor(60, 60, 70));
  // the cable and the frames running along it
  FillRect(d, 34, 34, 62, 38, RGBColor(120, 120, 120));
  for (int k = 0; k < 3; ++k) {
    const int x = 34 + (n * 2 + k * 10) % 28;
    FillRect(d, x, 31, x + 4, 41, RGBColor(230, 140, 20));
  }
  return d;
}

TDIB RecordFrame(int n) {
  TDIB d(kW, kH, 24);
  FillRect(d, 0, 0, kW, kH, RGBColor(236, 236, 236));
  // cassette with turning reels
  FillRect(d, 8, 16, 72, 56, RGBColor(40, 40, 48));
  FillRect(d, 18, 24, 62, 40, RGBColor(200, 200, 190));
  for (int reel = 0; reel < 2; ++reel) {
    const double cx = reel ? 52 : 28, cy = 32;
    FillCircle(d, cx, cy, 6, RGBColor(60, 60, 60));
    const double a = n * 2 * M_PI / kFrames;
    for (int s = 0; s < 3; ++s) {
      const double b = a + s * 2 * M_PI / 3;
      FillCircle(d, cx + 4 * std::cos(b), cy + 4 * std::sin(b), 1.2, RGBColor(230, 230, 230));
    }
  }
  // the record mark pulses
  const double r = 5 + 2.5 * (0.5 + 0.5 * std::sin(n * 2 * M_PI / kFrames));
  FillCircle(d, 84, 16, r, RGBColor(220, 30, 30));
  return d;
}

bool Write(const std::string& file, TDIB (*frame)(int)) {
  auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("MJPG"), ICMODE_COMPRESS);
  if (!hic) return false;
  const TDIB first = frame(0);
  const TVideoFormat in = TVideoFormat::ForDib(first);
  TVideoFormat out;
  if (hic->CompressGetFormat(in, out) != ICERR_OK) return false;
  hic->CompressFramesInfo(9000, 1, 0, 10, 1);
  if (hic->CompressBegin(in, out) != ICERR_OK) return false;
  PAVIFILE f = nullptr;
  if (AVIFileOpen(&f, file, OF_WRITE | OF_CREATE) != AVIERR_OK) return false;
  TAviFilePtr fp(f);
  AVISTREAMINFO si;
  si.fccType = streamtypeVIDEO;
  si.fccHandler = VideoFourCC("MJPG");
  si.dwScale = 1;
  si.dwRate = 10;
  si.dwQuality = 0xFFFFFFFF;
  si.rcFrame = RECT{0, 0, kW, kH};
  PAVISTREAM s = nullptr;
  if (AVIFileCreateStream(f, &s, &si) != AVIERR_OK) return false;
  TAviStreamPtr sp(s);
  const std::vector<uint8_t> fmt = out.ToBytes();
  if (AVIStreamSetFormat(s, 0, fmt.data(), static_cast<int32_t>(fmt.size())) != AVIERR_OK) return false;
  for (int n = 0; n < kFrames; ++n) {
    TCompressedFrame c;
    if (hic->Compress(frame(n), true, c) != ICERR_OK) return false;
    if (AVIStreamWrite(s, n, 1, c.Data, static_cast<int32_t>(c.Size), AVIIF_KEYFRAME, nullptr, nullptr) != AVIERR_OK)
      return false;
  }
  hic->CompressEnd();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  if (!Write(folder + "FireWire.AVI", FireWireFrame) || !Write(folder + "Record.AVI", RecordFrame)) {
    std::fprintf(stderr, "%s: cannot write the animations into %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
