#include "../cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace sealdoor::test {

CliResult RunCli(const std::vector<std::string>& args, const std::string& input,
                 const std::filesystem::path& folder, std::optional<std::chrono::microseconds> interruptAfter) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(SEALDOOR_CLI)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(SEALDOOR_CLI, argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::signal(SIGPIPE, SIG_IGN);
  (void)!::write(in[1], input.data(), input.size());
  ::close(in[1]);
  CliResult r;
  if (interruptAfter) {
    std::this_thread::sleep_for(*interruptAfter);
    r.interrupted = ::kill(pid, SIGINT) == 0;
  }
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0 && ::poll(fds, 2, -1) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

bool KillCliProcesses() { return false; }  // the POSIX tests kill with signals of their own

}  // namespace sealdoor::test
