// Feeds arbitrary bytes to the reader of other containers as a file (in memory): the
// movie's frames in order and after jumps, and its sound decoded whole. A file that is
// no movie or sound gives no object or false; every frame has the movie's size; nothing
// else may happen.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "media/MediaFile.h"

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("media", 0);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  std::string why;
  if (std::unique_ptr<movara::TMediaVideo> video = movara::TMediaVideo::Open(name, &why)) {
    const int frames = video->FrameCount();
    if (frames < 1 || video->Rate() == 0 || video->Scale() == 0) __builtin_trap();
    movara::TDIB picture;
    auto check = [&](int n) {
      if (!video->GetFrame(n, picture)) return;
      if (picture.Width() != video->Width() || picture.Height() != video->Height() || picture.BitCount() != 24)
        __builtin_trap();
    };
    for (int n = 0; n < frames && n < 40; ++n) check(n);
    for (int n : {frames - 1, frames / 2, 0, frames / 3, frames + 5, -3}) check(n);
    if (video->DamagedFrames() < 0 || video->DamagedFrames() > video->SourcePictures()) __builtin_trap();
  } else if (why.empty()) {
    __builtin_trap();  // a refusal says why
  }
  movara::TMediaSound sound;
  if (movara::DecodeMediaSound(name, sound, &why)) {
    if (sound.Channels < 1 || sound.Channels > 2 || sound.Rate <= 0 || sound.Samples.empty() ||
        sound.Samples.size() % static_cast<size_t>(sound.Channels) != 0)
      __builtin_trap();
  }
  return 0;
}
