// Media files are read where they stand; a pipe put in a medium's place is refused at
// once, never waited on for a writer that may not come.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <vector>

#include "base/Dib.h"
#include "platform/avifile/AviIO.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

TEST(PipeInput, MediaOpenersRefuseAPipeWithoutWaiting) {
  test::TTempDir dir;
  const std::string fifo = dir.File("clip.avi");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::function<bool()> openers[] = {
      [&] {
        std::vector<uint8_t> bytes;
        return ReadWholeFile(fifo, bytes);
      },
      [&] { return OpenAviFileIO(fifo, false) != nullptr; },
  };
  for (const auto& open : openers) {
    auto opened = std::async(std::launch::async, open);
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the opener waits for a writer";
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // lets it go
      opened.wait();
      if (writer >= 0) ::close(writer);
      continue;
    }
    EXPECT_FALSE(opened.get());
  }
}

}  // namespace
}  // namespace movara
