#pragma once
// FFmpeg's own log lines go to the trace sink instead of stderr: a damaged frame is
// reported by the caller's "no frame", not by library chatter on the user's terminal.

namespace movara {

// Installs the routing once; later calls do nothing. Thread-safe.
void RouteCodecLogToTrace();

}  // namespace movara
