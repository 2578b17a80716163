// Feeds arbitrary bytes to the WAV reader as a file (in memory): open it, read pieces
// at several times and in another destination format. A file that is no sound gives
// false; a conversion that cannot be set up raises EAudioError; nothing else may happen.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/AudioReader.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

void ReadSome(movara::TCustomAudioReader& r) {
  std::vector<uint8_t> buf(1 << 16);
  const int duration = r.Duration();
  if (duration < 0) __builtin_trap();
  for (int t : {0, duration / 3, duration - 1, duration}) {
    const int n = r.ReadData(t, 250, static_cast<int>(buf.size()), buf.data());
    if (n < 0 || n > static_cast<int>(buf.size())) __builtin_trap();
    if (n % r.DestinationFormat().nBlockAlign != 0) __builtin_trap();
  }
  // Everything, in pieces, up to a bound.
  int total = 0;
  for (int t = 0; t < duration && total < (8 << 20); t += 1000) {
    total += r.ReadData(t, 1000, static_cast<int>(buf.size()), buf.data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("wav", 0);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  movara::TWaveAudioReader r;
  try {
    if (r.OpenFile(name)) {
      if (r.Duration() < 0 || r.BlockCount() < 1) __builtin_trap();
      ReadSome(r);
      if (r.SetDestinationFormat(1, 8, 11025)) ReadSome(r);
    } else if (r.Opened()) {
      __builtin_trap();
    }
  } catch (const movara::EAudioError&) {
    if (r.Opened()) __builtin_trap();  // a failed open leaves the reader closed
  }
  return 0;
}
