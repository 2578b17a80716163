// The work of capturing one DV frame, against the 40 ms a frame lasts at 25 fps: the
// camera's frame with its sound in the DIF blocks (made once), the sound taken out of
// it, and the frame with its sound appended to a DV AVI on disk. The baseline is the
// write alone, with the sound already at hand. With the preview, one decoded picture.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "base/Dib.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/codecs/VideoDecoder.h"
#include "platform/dvgraph/DvAviFile.h"
#include "platform/dvgraph/DvDif.h"

using namespace movara;

namespace {

std::vector<uint8_t> CameraFrame() {
  auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("dvsd"), ICMODE_COMPRESS);
  TDIB pic(kDvPalWidth, kDvPalHeight, 24);
  for (int y = 0; y < kDvPalHeight; ++y)
    for (int x = 0; x < kDvPalWidth; ++x) pic.SetPixel(x, y, RGBColor(x % 256, y % 256, (x * y) % 256));
  TVideoFormat in = TVideoFormat::ForDib(pic), out;
  hic->CompressGetFormat(in, out);
  hic->CompressBegin(in, out);
  TCompressedFrame c;
  hic->Compress(pic, true, c);
  std::vector<int16_t> pcm(kDvPalSamplesPerFrame * 2);
  for (int i = 0; i < kDvPalSamplesPerFrame; ++i) pcm[2 * i] = pcm[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(i * 0.0576));
  std::vector<uint8_t> dif;
  DvInsertAudio(c.Data, c.Size, pcm.data(), kDvPalSamplesPerFrame, dif);
  return dif;
}

std::string TempFile() { return (std::filesystem::temp_directory_path() / "movara-dv-bench.avi").string(); }

void WriteOnly(benchmark::State& state) {
  const std::vector<uint8_t> dif = CameraFrame();
  std::vector<int16_t> pcm;
  DvExtractAudio(dif.data(), dif.size(), pcm);
  auto w = TDvAviWriter::Create(TempFile(), 0);
  for (auto _ : state) w->WriteFrame(dif.data(), dif.size(), pcm.data(), static_cast<int>(pcm.size() / 2));
  w->Close();
  std::remove(TempFile().c_str());
}
BENCHMARK(WriteOnly)->Unit(benchmark::kMillisecond);

void CaptureFrame(benchmark::State& state) {
  const std::vector<uint8_t> dif = CameraFrame();
  auto w = TDvAviWriter::Create(TempFile(), 0);
  std::vector<int16_t> pcm;
  for (auto _ : state) {
    DvExtractAudio(dif.data(), dif.size(), pcm);
    w->WriteFrame(dif.data(), dif.size(), pcm.data(), static_cast<int>(pcm.size() / 2));
  }
  w->Close();
  std::remove(TempFile().c_str());
}
BENCHMARK(CaptureFrame)->Unit(benchmark::kMillisecond);

void PreviewPicture(benchmark::State& state) {
  const std::vector<uint8_t> dif = CameraFrame();
  TVideoFormat f;
  f.biWidth = kDvPalWidth;
  f.biHeight = kDvPalHeight;
  f.biBitCount = 24;
  f.biCompression = VideoFourCC("dvsd");
  auto dec = TVideoDecoder::Create(f);
  TDIB pic;
  int n = 0, pos = 0;
  for (auto _ : state) {
    dec->SendPacket(dif.data(), dif.size(), true, n++);
    while (dec->ReceiveFrame(&pos)) dec->CopyTo(pic);
  }
}
BENCHMARK(PreviewPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
