// Feeds arbitrary bytes to the AVI reader: a file that opens must give every sample of
// every stream (or an error code) without reading outside its buffers. What it reads is
// then written into a new AVI with a tiny part size (so the OpenDML path runs) and read
// back: the copy must hold the same samples.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avifile/AviFile.h"
#include "platform/avifile/AviIO.h"

using namespace movara;

namespace {

struct TStreamCopy {
  AVISTREAMINFO info;
  std::vector<uint8_t> format;
  std::vector<std::vector<uint8_t>> samples;  // a frame each, or runs of fixed-size samples
  std::vector<bool> keys;
};

constexpr int32_t kMaxReads = 20000;

bool ReadStream(PAVISTREAM s, TStreamCopy& copy) {
  if (AVIStreamInfo(s, &copy.info, sizeof copy.info) != AVIERR_OK) __builtin_trap();
  int32_t formatSize = 0;
  if (AVIStreamReadFormat(s, 0, nullptr, &formatSize) == AVIERR_OK) {
    if (formatSize < 0 || formatSize > (1 << 20)) __builtin_trap();
    copy.format.resize(static_cast<size_t>(formatSize));
    if (AVIStreamReadFormat(s, 0, copy.format.data(), &formatSize) != AVIERR_OK) __builtin_trap();
  }
  const int32_t start = AVIStreamStart(s);
  const int32_t length = AVIStreamLength(s);
  if (start < 0 || length < 0) __builtin_trap();
  bool complete = true;
  int32_t pos = start;
  for (int32_t reads = 0; pos < start + length && reads < kMaxReads; ++reads) {
    int32_t bytes = 0, samples = 0;
    const int32_t want = copy.info.dwSampleSize ? 4096 : 1;
    HRESULT r = AVIStreamRead(s, pos, want, nullptr, 0, &bytes, &samples);
    if (r != AVIERR_OK) {
      if (samples != 0) __builtin_trap();
      complete = false;
      ++pos;
      continue;
    }
    if (bytes < 0 || samples <= 0 || samples > want) __builtin_trap();
    std::vector<uint8_t> data(static_cast<size_t>(bytes));
    int32_t got = 0, gotSamples = 0;
    r = AVIStreamRead(s, pos, want, data.data(), bytes, &got, &gotSamples);
    if (r == AVIERR_OK) {
      if (got != bytes || gotSamples != samples) __builtin_trap();
      copy.samples.push_back(std::move(data));
      copy.keys.push_back(AVIStreamIsKeyFrame(s, pos));
    } else {
      complete = false;
    }
    pos += samples;
  }
  // Key-frame search stays inside the stream.
  const int32_t next = AVIStreamFindSample(s, start, FIND_NEXT | FIND_KEY);
  const int32_t prev = AVIStreamFindSample(s, start + length, FIND_PREV | FIND_KEY);
  if ((next != -1 && (next < start || next >= start + length)) ||
      (prev != -1 && (prev < start || prev >= start + length)))
    __builtin_trap();
  return complete && pos == start + length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PAVIFILE file = nullptr;
  if (AVIFileOpenIO(&file, std::make_shared<TMemoryAviIO>(data, size), OF_READ) != AVIERR_OK) {
    if (file != nullptr) __builtin_trap();
    return 0;
  }
  std::vector<TStreamCopy> copies;
  bool complete = true;
  for (int32_t i = 0;; ++i) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(file, &s, 0, i) != AVIERR_OK) break;
    copies.emplace_back();
    complete = ReadStream(s, copies.back()) && complete;
    AVIStreamRelease(s);
  }
  AVIFileRelease(file);
  if (!complete) return 0;

  // Write what was read, in parts of 16 KB, and read it back.
  auto store = std::make_shared<TMemoryAviIO>();
  TAviWriteOptions options;
  options.riffLimit = 16384;
  PAVIFILE out = nullptr;
  if (AVIFileOpenIO(&out, store, OF_WRITE | OF_CREATE, &options) != AVIERR_OK) __builtin_trap();
  std::vector<PAVISTREAM> streams;
  for (TStreamCopy& c : copies) {
    AVISTREAMINFO info = c.info;
    info.dwScale = info.dwScale ? info.dwScale : 1;
    info.dwRate = info.dwRate ? info.dwRate : 1;
    info.dwStart = 0;
    if (info.fccType == streamtypeVIDEO) info.dwSampleSize = 0;  // keeps the key-frame flags as read
    PAVISTREAM s = nullptr;
    if (AVIFileCreateStream(out, &s, &info) != AVIERR_OK) __builtin_trap();
    if (c.format.empty()) c.format.assign(4, 0);
    if (AVIStreamSetFormat(s, 0, c.format.data(), static_cast<int32_t>(c.format.size())) != AVIERR_OK)
      __builtin_trap();
    streams.push_back(s);
  }
  for (size_t i = 0; i < copies.size(); ++i)
    for (size_t k = 0; k < copies[i].samples.size(); ++k) {
      const auto& d = copies[i].samples[k];
      int32_t sw = 0, bw = 0;
      if (AVIStreamWrite(streams[i], -1, 1, d.data(), static_cast<int32_t>(d.size()),
                         copies[i].keys[k] ? AVIIF_KEYFRAME : 0, &sw, &bw) != AVIERR_OK)
        __builtin_trap();
    }
  for (PAVISTREAM s : streams) AVIStreamRelease(s);
  AVIFileRelease(out);

  const std::vector<uint8_t> bytes = store->Bytes();
  PAVIFILE back = nullptr;
  if (AVIFileOpenIO(&back, std::make_shared<TMemoryAviIO>(bytes.data(), bytes.size()), OF_READ) != AVIERR_OK)
    __builtin_trap();
  for (size_t i = 0; i < copies.size(); ++i) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(back, &s, 0, static_cast<int32_t>(i)) != AVIERR_OK) __builtin_trap();
    TStreamCopy again;
    if (!ReadStream(s, again)) __builtin_trap();
    // Fixed-size samples may come back in other runs: compare the bytes in order.
    std::vector<uint8_t> a, b;
    for (const auto& d : copies[i].samples) a.insert(a.end(), d.begin(), d.end());
    for (const auto& d : again.samples) b.insert(b.end(), d.begin(), d.end());
    if (a != b) __builtin_trap();
    if (copies[i].info.dwSampleSize == 0 &&
        (again.samples.size() != copies[i].samples.size() || again.keys != copies[i].keys))
      __builtin_trap();
    AVIStreamRelease(s);
  }
  AVIFileRelease(back);
  return 0;
}
