#pragma once
// Helpers shared by the test suites: a temporary folder per test, running the ffmpeg
// and ffprobe programs to make real inputs and to check our outputs.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/Trace.h"

namespace movara::test {

// Collects the trace lines written while it lives (from any thread).
class TTraceRecorder {
 public:
  TTraceRecorder();
  ~TTraceRecorder();
  TTraceRecorder(const TTraceRecorder&) = delete;
  TTraceRecorder& operator=(const TTraceRecorder&) = delete;
  // A line holding text.
  bool Has(const std::string& text) const;
  // Lines starting with prefix.
  int Count(const std::string& prefix) const;
  // Every line, each ended by a line feed.
  std::string All() const;
  std::vector<std::string> lines;

 private:
  mutable std::mutex lock_;
  TraceSink old_;
};

// A fresh folder below $TMPDIR, removed with the object. Sets MOVARA_HOME to a
// sub-folder "home" of it for the object's lifetime.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }  // with trailing '/'
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
  std::string oldHome_;
  bool hadHome_ = false;
};

struct TCommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command; output is captured.
TCommandResult RunCommand(const std::string& command);
bool HaveProgram(const std::string& name);
// Shell-quotes one argument.
std::string Quote(const std::string& arg);
// Path of the built movara program.
std::string MovaraProgram();

// ffmpeg decodes the whole file with nothing to complain about (a test expectation).
void ExpectFfmpegDecodes(const std::string& file);

// ffmpeg's hash of every packet of one stream ("0:v", "0:a"), in file order.
struct TPacketHash {
  int64_t pts;
  int size;
  std::string md5;
  bool operator==(const TPacketHash&) const = default;
};
std::vector<TPacketHash> FramePackets(const std::string& file, const std::string& map);

// Looks at done every millisecond until it holds or timeoutMs have passed; true when it
// holds. For what no event announces (another thread's counters, a growing file).
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

std::vector<uint8_t> ReadBytes(const std::string& file);
void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes);

}  // namespace movara::test

// Skips the current test when the named program is missing.
#define REQUIRE_PROGRAM(name)                                     \
  do {                                                            \
    if (!::movara::test::HaveProgram(name)) GTEST_SKIP() << name << " not installed"; \
  } while (0)
