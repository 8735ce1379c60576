#include <glib.h>

#include "command_line.h"
#include "spawn_starter.h"
#include "text/tr.h"

namespace sealdoor::shell {

bool StartsItself(std::string_view) { return false; }

std::expected<void, std::string> SpawnStarter::StartFile(const std::string& path) { return Spawn({path}); }

std::expected<void, std::string> SpawnStarter::StartCommand(const std::string& prefix, const std::string& path) {
  auto argv = CommandArguments(prefix, path);
  if (!argv) return std::unexpected(argv.error());
  return Spawn(*argv);
}

std::expected<void, std::string> SpawnStarter::Spawn(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) return std::unexpected(text::Tr("no program named"));
  std::vector<gchar*> raw;
  raw.reserve(argv.size() + 1);
  for (const auto& a : argv) raw.push_back(const_cast<gchar*>(a.c_str()));
  raw.push_back(nullptr);
  GError* error = nullptr;
  const gboolean ok = g_spawn_async(nullptr, raw.data(), nullptr, G_SPAWN_SEARCH_PATH,
                                    nullptr, nullptr, nullptr, &error);
  if (!ok) {
    std::string reason = error ? error->message : text::Tr("unknown error");
    g_clear_error(&error);
    return std::unexpected(reason);
  }
  return {};
}

}  // namespace sealdoor::shell
