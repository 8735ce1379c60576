#include "cli_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sealdoor::test {

pid_t StartCli(const std::string& op, const std::filesystem::path& folder, const std::vector<std::string>& names,
               const std::string& password, std::size_t filesPerGroup) {
  const std::string groups = std::to_string(filesPerGroup);
  const char* program = filesPerGroup ? SEALDOOR_SMALL_GROUPS_CLI : SEALDOOR_CLI;
  int in[2];
  if (::pipe(in) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(program)};
    if (filesPerGroup) argv.push_back(const_cast<char*>(groups.c_str()));
    argv.push_back(const_cast<char*>(op.c_str()));
    argv.push_back(const_cast<char*>("--password-stdin"));
    for (const auto& n : names) argv.push_back(const_cast<char*>(n.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  const std::string line = password + "\n";
  (void)!::write(in[1], line.data(), line.size());
  ::close(in[1]);
  return pid;
}

pid_t StartCli(const std::string& op, const std::filesystem::path& file, const std::string& password) {
  return StartCli(op, file.parent_path(), {file.filename().string()}, password);
}

int WaitCli(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace sealdoor::test
