#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace movara::test {

void ExpectFfmpegDecodes(const std::string& file) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null -");
  EXPECT_EQ(r.exitCode, 0) << file << "\n" << r.output;
  EXPECT_EQ(r.output, "") << file;
}

std::vector<TPacketHash> FramePackets(const std::string& file, const std::string& map) {
  const auto r = RunCommand("ffmpeg -v error -i " + Quote(file) + " -map " + map + " -c copy -f framemd5 -");
  std::vector<TPacketHash> out;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ls(line);
    std::string field;
    while (std::getline(ls, field, ',')) f.push_back(field.substr(field.find_first_not_of(' ')));
    if (f.size() == 6) out.push_back({std::stoll(f[2]), std::stoi(f[4]), f[5]});
  }
  return out;
}

TTraceRecorder::TTraceRecorder() {
  old_ = SetTraceSink([this](const std::string& line) {
    std::lock_guard<std::mutex> l(lock_);
    lines.push_back(line);
  });
}

TTraceRecorder::~TTraceRecorder() { SetTraceSink(old_); }

bool TTraceRecorder::Has(const std::string& text) const {
  std::lock_guard<std::mutex> l(lock_);
  for (const std::string& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

int TTraceRecorder::Count(const std::string& prefix) const {
  std::lock_guard<std::mutex> l(lock_);
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

std::string TTraceRecorder::All() const {
  std::lock_guard<std::mutex> l(lock_);
  std::string s;
  for (const std::string& line : lines) s += line + "\n";
  return s;
}


TTempDir::TTempDir() {
  std::string base = fs::temp_directory_path().string();
  std::string tmpl = base + "/movara-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  char* made = ::mkdtemp(buf.data());
  if (!made) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(made) + "/";
  fs::create_directories(path_ + "home");
  if (const char* h = std::getenv("MOVARA_HOME")) {
    hadHome_ = true;
    oldHome_ = h;
  }
  ::setenv("MOVARA_HOME", (path_ + "home").c_str(), 1);
}

TTempDir::~TTempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
  if (hadHome_)
    ::setenv("MOVARA_HOME", oldHome_.c_str(), 1);
  else
    ::unsetenv("MOVARA_HOME");
}

TCommandResult RunCommand(const std::string& command) {
  TCommandResult r;
  std::string full = command + " 2>&1";
  FILE* p = ::popen(full.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v " + Quote(name) + " >/dev/null").exitCode == 0;
}

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string MovaraProgram() {
  if (const char* bin = std::getenv("MOVARA_TEST_BIN")) return std::string(bin) + "/movara";
  return "movara";
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<uint8_t> ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace movara::test
