#include "app/CommandLine.h"
#include "platform/codecs/CodecLog.h"

int main(int argc, char** argv) {
  movara::RouteCodecLogToTrace();
  return movara::RunCommandLine(argc, argv);
}
