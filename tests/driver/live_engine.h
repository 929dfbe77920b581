// The built engine as a child process on two pipes, for sessions where the answer's timing
// matters (stop, isready, move now): lines are sent one by one and read with a deadline.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>

#include "scratch.h"

class LiveEngine {
 public:
  // Starts the engine in dir; ready() is false when it could not be started.
  explicit LiveEngine(const fs::path& dir) {
    int toEngine[2], fromEngine[2];
    if (pipe(toEngine) != 0 || pipe(fromEngine) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toEngine[0], 0);
      dup2(fromEngine[1], 1);
      close(toEngine[1]);
      close(fromEngine[0]);
      if (chdir(dir.c_str()) != 0) _exit(127);
      execl(VORLAK_BINARY, VORLAK_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toEngine[0]);
    close(fromEngine[1]);
    in_ = toEngine[1];
    out_ = fromEngine[0];
    signal(SIGPIPE, SIG_IGN);
  }
  ~LiveEngine() {
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  LiveEngine(const LiveEngine&) = delete;
  LiveEngine& operator=(const LiveEngine&) = delete;

  bool ready() const { return pid_ > 0 && in_ >= 0; }

  void send(const std::string& line) {
    const std::string text = line + "\n";
    if (write(in_, text.data(), text.size()) != ssize_t(text.size())) return;
  }
  void closeInput() {
    close(in_);
    in_ = -1;
  }

  // Reads lines until one starts with prefix; that line, or "" when milliseconds pass
  // first or the engine's output ends. Every line read is kept in transcript().
  std::string waitFor(const std::string& prefix, int milliseconds) {
    return waitUntil([&](const std::string& line) { return line.rfind(prefix, 0) == 0; },
                     milliseconds);
  }
  // The same for the first line that matches pattern as a whole.
  std::string waitForMatch(const std::string& pattern, int milliseconds) {
    const std::regex re(pattern);
    return waitUntil([&](const std::string& line) { return std::regex_match(line, re); },
                     milliseconds);
  }

  template <class Test>
  std::string waitUntil(Test wanted, int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        transcript_ += line + "\n";
        if (wanted(line)) return line;
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd request{out_, POLLIN, 0};
      if (poll(&request, 1, int(left.count())) <= 0) return "";
      char buffer[4096];
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) return "";
      pending_.append(buffer, size_t(n));
    }
  }

  // True when the process ends within milliseconds; its exit code in *status.
  bool exitsWithin(int milliseconds, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
      int raw = 0;
      if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        exited_ = true;
        *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return true;
      }
      usleep(1000);
    }
    return false;
  }

  const std::string& transcript() const { return transcript_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  bool exited_ = false;
  std::string pending_, transcript_;
};

// Milliseconds that body takes.
template <class Body>
long long millisecondsOf(Body body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}
