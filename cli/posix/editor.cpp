#include "cli/editor.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <vector>

extern char** environ;

namespace sealdoor::cli {

EditorEnd RunEditor(const std::filesystem::path& file) {
  EditorEnd end;
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      end.command = value;
      break;
    }
  }
  if (end.command.empty()) end.command = "sensible-editor";
  // As git and crontab do: the variable is a shell command ("code -w",
  // "emacsclient -t"); the file goes after it as an argument of its own,
  // never read by the shell.
  const std::string script = end.command + " \"$@\"";
  const std::string path = file.string();
  std::vector<char*> argv{const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script.c_str()),
                          const_cast<char*>("sh"), const_cast<char*>(path.c_str()), nullptr};
  // The editor gets the signals' usual dispositions, whatever this process
  // holds: Ctrl-C is the editor's to take as it wishes.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  for (const int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE}) sigaddset(&defaults, s);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int e = posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (e != 0) {
    end.why = std::strerror(e);
    return end;
  }
  end.started = true;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      end.status = 127;
      return end;
    }
  }
  end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return end;
}

}  // namespace sealdoor::cli
