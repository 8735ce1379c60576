#include "shell/open_command.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

#include "terminal.h"

namespace sealdoor::shell {
namespace {

struct GFree {
  void operator()(void* p) const { g_free(p); }
};
struct GUnref {
  void operator()(void* p) const { g_object_unref(p); }
};

// A text as one argument of an Exec line: in double quotes, with the
// characters that are special there escaped.
std::string OneArgument(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Exec field codes: the file codes become "%1"; "%%" is a percent sign; the
// icon, name and location codes each give one argument; the deprecated
// ones go. Anything else is no field code and stays as it stands, so
// "%SystemRoot%" reaches its expansion.
std::string ExpandFieldCodes(std::string_view exec, GAppInfo* app) {
  std::string out;
  bool fileCodeSeen = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%' || i + 1 >= exec.size()) {
      out += exec[i];
      continue;
    }
    const char code = exec[i + 1];
    switch (code) {
      case 'f': case 'F': case 'u': case 'U':
        if (!fileCodeSeen) out += "%1";
        fileCodeSeen = true;
        break;
      case '%': out += '%'; break;
      case 'c':
        if (const char* name = g_app_info_get_name(app)) out += OneArgument(name);
        break;
      case 'k':
        if (G_IS_DESKTOP_APP_INFO(app))
          if (const char* file = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app)))
            out += OneArgument(file);
        break;
      case 'i':
        if (G_IS_DESKTOP_APP_INFO(app)) {
          std::unique_ptr<gchar, GFree> icon(
              g_desktop_app_info_get_string(G_DESKTOP_APP_INFO(app), G_KEY_FILE_DESKTOP_KEY_ICON));
          if (icon && *icon) out += "--icon " + OneArgument(icon.get());
        }
        break;
      case 'd': case 'D': case 'n': case 'N': case 'v': case 'm':
        break;  // deprecated: removed
      default:
        out += '%';  // not a field code: the text stays
        continue;
    }
    ++i;
  }
  return out;
}

}  // namespace

std::string ClassForExtension(const std::string& extension) {
  // Types come from the extension alone, as the registry of file classes
  // gives them: the text after a dot in a folder's name is no extension.
  if (extension.find('/') != std::string::npos) return {};
  gboolean uncertain = TRUE;
  const std::string name = "file" + extension;
  std::unique_ptr<gchar, GFree> type(g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
  if (!type || uncertain) return {};
  std::unique_ptr<gchar, GFree> mime(g_content_type_get_mime_type(type.get()));
  return mime ? std::string(mime.get()) : std::string(type.get());
}

ClassCommand CommandForClass(const std::string& mimeType) {
  if (mimeType.empty()) return {};
  std::unique_ptr<GAppInfo, GUnref> app(g_app_info_get_default_for_type(mimeType.c_str(), FALSE));
  if (!app) return {};
  const char* exec = g_app_info_get_commandline(app.get());
  if (!exec) return {};
  ClassCommand command{ExpandFieldCodes(exec, app.get())};
  if (G_IS_DESKTOP_APP_INFO(app.get()) &&
      g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app.get()), "Terminal")) {
    const std::string terminal = TerminalPrefix();
    command.terminalMissing = terminal.empty();
    command.line = terminal + command.line;
  }
  return command;
}

}  // namespace sealdoor::shell
