// Starts the program under test as a child process.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace eb::test {

// Runs `exe` with `args`, its stdout going to `outPath` and its stderr to
// `errPath`; returns its pid.
inline pid_t Launch(const char* exe, const std::vector<std::string>& args,
                    const std::string& outPath, const std::string& errPath) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::freopen(outPath.c_str(), "w", stdout);
    std::freopen(errPath.c_str(), "w", stderr);
    std::vector<char*> argv{const_cast<char*>(exe)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe, argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace eb::test
