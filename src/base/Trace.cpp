#include "base/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace movara {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

TraceSink& Sink() {
  static TraceSink sink;
  return sink;
}

bool EnvTrace() {
  static const bool on = std::getenv("MOVARA_TRACE") != nullptr;
  return on;
}

}  // namespace

bool TraceEnabled() {
  std::lock_guard<std::mutex> lock(SinkMutex());
  return Sink() || EnvTrace();
}

void Trace(const std::string& line) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) {
    Sink()(line);
  } else if (EnvTrace()) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

void TraceF(const char* fmt, ...) {
  if (!TraceEnabled()) return;
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string line;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, ap2);
    line.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(ap2);
  Trace(line);
}

TraceSink SetTraceSink(TraceSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  TraceSink old = std::move(Sink());
  Sink() = std::move(sink);
  return old;
}

}  // namespace movara
