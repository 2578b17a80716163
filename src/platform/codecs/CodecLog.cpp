#include "platform/codecs/CodecLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "base/Trace.h"

extern "C" {
#include <libavutil/log.h>
}

namespace movara {
namespace {

void LogToTrace(void* avcl, int level, const char* fmt, va_list ap) {
  if (level > AV_LOG_WARNING || !TraceEnabled()) return;
  char line[1024];
  int prefix = 1;
  av_log_format_line(avcl, level, fmt, ap, line, sizeof line, &prefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty()) Trace("[ffmpeg] " + text);
}

}  // namespace

void RouteCodecLogToTrace() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(LogToTrace); });
}

}  // namespace movara
