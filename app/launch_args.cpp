#include "launch_args.h"

#include "engine/path_text.h"
#include "text/tr.h"

namespace sealdoor::app {
namespace {

// An argument as an error shows it: control characters, which could act
// on a terminal, as "?".
std::string Shown(const std::string& arg) {
  std::string out = arg;
  for (auto& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

}  // namespace

FullNames MakeFullNames(const std::vector<std::string>& files,
                        const std::optional<std::filesystem::path>& workingFolder) {
  FullNames out;
  for (const auto& f : files) {
    const std::filesystem::path p = PathFromText(f);
    if (p.is_absolute())
      out.paths.push_back(f);
    else if (workingFolder)
      out.paths.push_back(PathText(*workingFolder / p));
    else
      out.unreachable.push_back(f);
  }
  return out;
}

std::string UnreachableNamesText(const std::vector<std::string>& names) {
  constexpr std::size_t kNamed = 10;  // the line stays readable; the count tells the rest
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kNamed; ++i) {
    if (i > 0) list += i + 1 == names.size() ? text::Tr(" and ") : text::Tr(", ");
    list += "'" + Shown(names[i]) + "'";
  }
  if (names.size() > kNamed)
    list = text::Fill(text::TrN("{list} and {n} more", "{list} and {n} more", names.size() - kNamed),
                      {{"list", list}, {"n", std::to_string(names.size() - kNamed)}});
  return text::Fill(names.size() == 1
                        ? text::Tr("{names} was left out: the folder it was given in no longer exists (give its full "
                                   "path)")
                        : text::Tr("{names} were left out: the folder they were given in no longer exists (give "
                                   "their full paths)"),
                    {{"names", list}});
}

std::string LaunchUsage() {
  // TRANSLATORS: keep the options and FILE as they are, and the lines
  // within 80 columns.
  return text::Tr("Usage: sealdoor [--lock | --unlock | --unlock-and-open] [--] [FILE...]\n"
      "\n"
      "Opens the Sealdoor window, or brings the running one to the front, and\n"
      "hands it the FILEs. A folder stands for the files below it.\n"
      "\n"
      "  --lock             lock the FILEs\n"
      "  --unlock           unlock the FILEs\n"
      "  --unlock-and-open  unlock one FILE and open it in its program\n"
      "  --                 the arguments after it are all files\n"
      "  --add-to-thunar    add \"Lock with Sealdoor\" and \"Unlock with Sealdoor\"\n"
      "                     to Thunar's menu (~/.config/Thunar/uca.xml)\n"
      "  --help             show this text\n"
      "  --version          show the version\n"
      "\n"
      "With a password typed in the window, the FILEs are processed at once;\n"
      "otherwise they wait, and the window says which button takes them.\n"
      "Without an action they wait for any of the three buttons; an action\n"
      "without FILEs names its button in the window. The password is never\n"
      "an argument.\n");
}

std::expected<LaunchArgs, std::string> ParseLaunchArgs(const std::vector<std::string>& args) {
  LaunchArgs out;
  bool filesOnly = false;
  for (const auto& a : args) {
    if (filesOnly || a.size() < 2 || a.front() != '-') {
      // An empty name would stand for the working folder itself.
      if (a.empty()) return std::unexpected(text::Tr("a FILE name is empty"));
      out.files.push_back(a);
      continue;
    }
    std::optional<Action> named;
    if (a == "--") {
      filesOnly = true;
    } else if (a == "--lock") {
      named = Action::Lock;
    } else if (a == "--unlock") {
      named = Action::Unlock;
    } else if (a == "--unlock-and-open") {
      named = Action::UnlockAndOpen;
    } else if (a == "--help" || a == "-h") {
      out.help = true;
    } else if (a == "--version") {
      out.version = true;
    } else if (a == "--add-to-thunar") {
      out.addToThunar = true;
    } else {
      return std::unexpected(text::Fill(text::Tr("unknown option {option} (a FILE whose name starts with \"-\" goes "
                                                 "after \"--\")"),
                                        {{"option", "'" + Shown(a) + "'"}}));
    }
    if (named) {
      if (out.action && out.action != named)
        return std::unexpected(text::Tr("--lock, --unlock and --unlock-and-open exclude each other"));
      out.action = named;
    }
  }
  if (out.help || out.version) return out;
  if (out.addToThunar && (out.action || !out.files.empty()))
    return std::unexpected(text::Tr("--add-to-thunar takes no FILE and no action"));
  // An action without files (a desktop menu's action) opens the window for it.
  if (out.action == Action::UnlockAndOpen && out.files.size() > 1)
    return std::unexpected(text::Tr("--unlock-and-open takes one FILE at most"));
  return out;
}

}  // namespace sealdoor::app
