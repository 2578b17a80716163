#pragma once
// Small helpers the benchmarks share: clocks in seconds and the peer programs run
// quietly.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace movara::bench {

inline double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Processor time of this process so far.
inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Processor time (user + system) of the child processes waited for so far.
inline double ChildrenCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs a shell command, its output read and dropped; its exit status as pclose gives it.
inline int Run(const std::string& command) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  while (fread(buf, 1, sizeof buf, p) > 0) {
  }
  return pclose(p);
}

}  // namespace movara::bench
