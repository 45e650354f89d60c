// Runs a program with a given standard input and collects its output, for the
// tests that drive the built binary.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace vyrelo::app::testing {

struct ProcessResult {
  int exitCode = -1;  // -1: killed or did not start
  std::string out;
  std::string err;
  double seconds = 0;
};

// `env` entries ("NAME=value") are added to this process's environment; a
// "NAME=" entry with nothing after it removes NAME. Killed after `limit`.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = {},
                                const std::vector<std::string>& env = {},
                                std::chrono::seconds limit = std::chrono::seconds(60)) {
  ProcessResult result;
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC)) {
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  for (const std::string& entry : env) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    if (entry.size() > name.size()) environment.push_back(entry);
  }
  std::vector<char*> envp, args;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argvCopy = argv;
  for (auto& a : argvCopy) args.push_back(a.data());
  args.push_back(nullptr);

  const auto started = std::chrono::steady_clock::now();
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned != 0) {
    close(inPipe[1]);
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
  }
  signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  int inFd = inPipe[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  }
  bool outOpen = true, errOpen = true;
  const auto deadline = started + limit;
  while (outOpen || errOpen) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3] = {{outOpen ? outPipe[0] : -1, POLLIN, 0},
                     {errOpen ? errPipe[0] : -1, POLLIN, 0},
                     {inFd, POLLOUT, 0}};
    if (poll(fds, 3, static_cast<int>(left.count())) < 0) break;
    char buffer[4096];
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
      if (n > 0) {
        (k == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else {
        (k == 0 ? outOpen : errOpen) = false;
      }
    }
    if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace vyrelo::app::testing
