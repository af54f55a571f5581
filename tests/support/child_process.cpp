#include "tests/support/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace corvane::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& environment)
    : ChildProcess(std::vector<std::string>{program}, environment) {}

ChildProcess::ChildProcess(const std::vector<std::string>& command,
                           const std::vector<std::string>& environment) {
  std::vector<char*> arguments;
  for (const std::string& argument : command)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    dup2(pipe_ends[1], STDERR_FILENO);
    for (const std::string& variable : environment) {
      const std::size_t equals = variable.find('=');
      if (equals == std::string::npos) {
        unsetenv(variable.c_str());
      } else {
        setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), 1);
      }
    }
    execv(arguments[0], arguments.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  output_ = pipe_ends[0];
  fcntl(output_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) close(output_);
}

void ChildProcess::Signal(int signal) const { kill(pid_, signal); }

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      Output();
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ChildProcess::Output() {
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(output_, buffer, sizeof buffer)) > 0) {
    collected_.append(buffer, static_cast<std::size_t>(got));
  }
  return collected_;
}

}  // namespace corvane::test
