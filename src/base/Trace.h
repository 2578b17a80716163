#pragma once
// Trace lines ("[TClass.Method] text") go to a sink that discards them unless
// MOVARA_TRACE is set in the environment (then they go to stderr). Tests may install
// their own sink to read what was traced.
#include <functional>
#include <string>

namespace movara {

using TraceSink = std::function<void(const std::string&)>;

void Trace(const std::string& line);
void TraceF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Installs a sink (an empty function restores the default); returns the previous one.
TraceSink SetTraceSink(TraceSink sink);
bool TraceEnabled();

}  // namespace movara
