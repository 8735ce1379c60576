#include <glib.h>
#include <sys/wait.h>

#include <cerrno>
#include <memory>

#include "command_line.h"
#include "spawn_starter.h"
#include "text/tr.h"

namespace sealdoor::shell {
namespace {

class Child final : public StartedProgram {
 public:
  explicit Child(GPid pid) : pid_(pid) {}
  bool Ended() override {
    if (ended_) return true;
    int status = 0;
    pid_t r;
    do r = ::waitpid(pid_, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    ended_ = r == pid_ || (r < 0 && errno == ECHILD);
    return ended_;
  }

 private:
  GPid pid_;
  bool ended_ = false;
};

}  // namespace

bool StartsItself(std::string_view) { return false; }

std::expected<Started, std::string> SpawnStarter::StartFile(const std::string& path) { return Spawn({path}); }

std::expected<Started, std::string> SpawnStarter::StartCommand(const std::string& prefix, const std::string& path) {
  auto argv = CommandArguments(prefix, path);
  if (!argv) return std::unexpected(argv.error());
  return Spawn(*argv);
}

std::expected<Started, std::string> SpawnStarter::Spawn(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) return std::unexpected(text::Tr("no program named"));
  std::vector<gchar*> raw;
  raw.reserve(argv.size() + 1);
  for (const auto& a : argv) raw.push_back(const_cast<gchar*>(a.c_str()));
  raw.push_back(nullptr);
  GError* error = nullptr;
  GPid pid = 0;
  const gboolean ok = g_spawn_async(nullptr, raw.data(), nullptr,
                                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                                    nullptr, &pid, &error);
  if (!ok) {
    std::string reason = error ? error->message : text::Tr("unknown error");
    g_clear_error(&error);
    return std::unexpected(reason);
  }
  return std::make_shared<Child>(pid);
}

}  // namespace sealdoor::shell
