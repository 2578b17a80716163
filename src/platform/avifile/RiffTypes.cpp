#include "platform/avifile/RiffTypes.h"

#include <algorithm>

namespace movara {

FOURCC FourCCFromString(std::string_view text) {
  char c[4] = {' ', ' ', ' ', ' '};
  for (size_t i = 0; i < 4 && i < text.size(); ++i) c[i] = text[i];
  return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

std::string FourCCToString(FOURCC fcc) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const auto ch = static_cast<uint8_t>(fcc >> (8 * i));
    s[i] = (ch >= 0x20 && ch < 0x7F) ? static_cast<char>(ch) : '?';
  }
  return s;
}

bool IsPrintableFourCC(FOURCC fcc) {
  for (int i = 0; i < 4; ++i) {
    const auto ch = static_cast<uint8_t>(fcc >> (8 * i));
    if (ch < 0x20 || ch >= 0x7F) return false;
  }
  return true;
}

FOURCC MakeAviChunkId(int stream, TWOCC type) {
  const int n = std::clamp(stream, 0, 99);
  return static_cast<FOURCC>('0' + n / 10) | (static_cast<FOURCC>('0' + n % 10) << 8) |
         (static_cast<FOURCC>(type) << 16);
}

int StreamFromChunkId(FOURCC ckid) {
  const int a = static_cast<int>(ckid & 0xFF) - '0';
  const int b = static_cast<int>((ckid >> 8) & 0xFF) - '0';
  if (a < 0 || a > 9 || b < 0 || b > 9) return -1;
  return a * 10 + b;
}

bool BITMAPINFOHEADER::Read(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kSize) return false;
  TLEReader r(data, size);
  biSize = r.U32();
  biWidth = r.I32();
  biHeight = r.I32();
  biPlanes = r.U16();
  biBitCount = r.U16();
  biCompression = r.U32();
  biSizeImage = r.U32();
  biXPelsPerMeter = r.I32();
  biYPelsPerMeter = r.I32();
  biClrUsed = r.U32();
  biClrImportant = r.U32();
  return true;
}

void BITMAPINFOHEADER::Write(uint8_t* data) const {
  PutLE32(data + 0, biSize);
  PutLE32(data + 4, static_cast<uint32_t>(biWidth));
  PutLE32(data + 8, static_cast<uint32_t>(biHeight));
  PutLE16(data + 12, biPlanes);
  PutLE16(data + 14, biBitCount);
  PutLE32(data + 16, biCompression);
  PutLE32(data + 20, biSizeImage);
  PutLE32(data + 24, static_cast<uint32_t>(biXPelsPerMeter));
  PutLE32(data + 28, static_cast<uint32_t>(biYPelsPerMeter));
  PutLE32(data + 32, biClrUsed);
  PutLE32(data + 36, biClrImportant);
}

void BITMAPINFOHEADER::AppendTo(std::vector<uint8_t>& out) const {
  const size_t at = out.size();
  out.resize(at + kSize);
  Write(out.data() + at);
}

std::vector<uint8_t> BITMAPINFOHEADER::Bytes() const {
  std::vector<uint8_t> out;
  AppendTo(out);
  return out;
}

bool WAVEFORMATEX::Read(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kPcmSize) return false;
  TLEReader r(data, size);
  wFormatTag = r.U16();
  nChannels = r.U16();
  nSamplesPerSec = r.U32();
  nAvgBytesPerSec = r.U32();
  nBlockAlign = r.U16();
  wBitsPerSample = r.U16();
  cbSize = size >= kSize ? r.U16() : 0;
  return true;
}

void WAVEFORMATEX::Write(uint8_t* data) const {
  PutLE16(data + 0, wFormatTag);
  PutLE16(data + 2, nChannels);
  PutLE32(data + 4, nSamplesPerSec);
  PutLE32(data + 8, nAvgBytesPerSec);
  PutLE16(data + 12, nBlockAlign);
  PutLE16(data + 14, wBitsPerSample);
  PutLE16(data + 16, cbSize);
}

void WAVEFORMATEX::AppendTo(std::vector<uint8_t>& out) const {
  const size_t at = out.size();
  out.resize(at + kSize);
  Write(out.data() + at);
}

bool TWaveFormat::Read(const uint8_t* data, size_t size) {
  WAVEFORMATEX w;
  if (!w.Read(data, size)) return false;
  const size_t have = size > WAVEFORMATEX::kSize ? size - WAVEFORMATEX::kSize : 0;
  const size_t n = std::min<size_t>(w.cbSize, have);
  wf = w;
  wf.cbSize = static_cast<uint16_t>(n);
  extra.assign(data + WAVEFORMATEX::kSize, data + WAVEFORMATEX::kSize + n);
  return true;
}

std::vector<uint8_t> TWaveFormat::Bytes() const {
  WAVEFORMATEX w = wf;
  const size_t n = std::min<size_t>(extra.size(), 0xFFFF);
  w.cbSize = static_cast<uint16_t>(n);
  std::vector<uint8_t> out;
  w.AppendTo(out);
  out.insert(out.end(), extra.begin(), extra.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

WAVEFORMATEX MakePcmFormat(int channels, int samplesPerSec, int bitsPerSample) {
  WAVEFORMATEX w;
  w.wFormatTag = WAVE_FORMAT_PCM;
  w.nChannels = static_cast<uint16_t>(channels);
  w.nSamplesPerSec = static_cast<uint32_t>(samplesPerSec);
  w.wBitsPerSample = static_cast<uint16_t>(bitsPerSample);
  w.nBlockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
  w.nAvgBytesPerSec = static_cast<uint32_t>(w.nBlockAlign) * w.nSamplesPerSec;
  w.cbSize = 0;
  return w;
}

}  // namespace movara
