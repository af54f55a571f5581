// Runs a program of the project as a child process for whole-program tests: its environment
// adjusted, its standard output and error collected.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvane::test {

class ChildProcess {
 public:
  // `environment`: "NAME=value" sets a variable, "NAME" alone removes it; the rest is inherited.
  ChildProcess(const std::string& program, const std::vector<std::string>& environment);
  // `command`: the program and its arguments.
  ChildProcess(const std::vector<std::string>& command,
               const std::vector<std::string>& environment);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int signal) const;
  // The exit code, or nothing when the child did not exit in time (it is then killed).
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // What the child wrote to standard output and error so far.
  std::string Output();

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string collected_;
  bool reaped_ = false;
};

}  // namespace corvane::test
