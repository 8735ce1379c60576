#include "notices.h"

#include "action_texts.h"
#include "engine/path_text.h"
#include "engine/system_error.h"
#include "tr.h"

namespace sealdoor::text {
namespace {

std::string Property(const Failure& f) {
  using P = Failure::Property;
  switch (f.property) {
    case P::ChattrFlags: return Tr("its file attributes (see chattr)");
    case P::Project: return Tr("its project number (see chattr -p)");
    case P::AccessList: return Tr("its access control list");
    case P::Capabilities: return Tr("its file capabilities");
    case P::ExtendedAttribute: return Fill(Tr("its extended attribute {name}"), {{"name", f.name}});
    case P::ExtendedAttributeFromFolder:
      return Fill(Tr("its extended attribute {name} (left over from its folder)"), {{"name", f.name}});
    case P::Permissions: return Tr("its permissions");
    case P::Stream: return Fill(Tr("its stream {name}"), {{"name", f.name}});
    case P::None: break;
  }
  return Tr("what it carries besides its bytes");
}

}  // namespace

std::string SingleQuoted(const std::filesystem::path& path) { return "'" + PathText(path) + "'"; }

std::string NamedFile(const std::filesystem::path& path, std::string_view message, const QuotePath& quote) {
  return Fill(Tr("{path}: {message}"), {{"path", quote(path)}, {"message", message}});
}

std::string OneLine(std::string_view message) {
  std::string line;
  bool inBreak = false;
  for (const char c : message) {
    const bool lineBreak = c == '\r' || c == '\n';
    if (lineBreak && !inBreak) line += ' ';
    if (!lineBreak) line += c;
    inBreak = lineBreak;
  }
  return line;
}

std::string Reason(const Failure& f, const QuotePath& quote) {
  using K = Failure::Kind;
  switch (f.kind) {
    case K::System: return SystemErrorText(f.code);
    case K::Changed: return Tr("it was changed by another program while it was being processed");
    case K::Deleted: return Tr("it was deleted while being processed");
    case K::OpenForWriting: return Tr("it is open for writing in another program");
    case K::OpenUnshared: return Tr("it is open for writing in another program (or in one that does not share it)");
    case K::NameTaken:
      return Fill(Tr("another program made a new file under its name while it was being replaced; "
                     "the file as it was is kept as {path}"),
                  {{"path", quote(PathFromText(f.name))}});
    case K::IsFolder: return Tr("it is a folder");
    case K::NotRegular: return Tr("it is not a regular file");
    case K::SystemView:
      return Tr("it is not a file on a disk but a view of the running system (like everything under /proc and /sys)");
    case K::OtherUsersFile: return Tr("it belongs to another user");
    case K::ForeignGroup:
      return Tr("it belongs to a group you are not a member of, which its new version could not keep");
    case K::WritersUnknown:
      return Tr("it belongs to another user, and whether another program is writing it cannot be checked here");
    case K::Immutable: return Tr("it is marked unchangeable (immutable, see lsattr), so it cannot be rewritten");
    case K::AppendOnly: return Tr("it is marked append-only (see lsattr), so it cannot be rewritten");
    case K::FolderImmutable:
      return Tr("its folder is marked unchangeable (immutable, see lsattr), so no file in it can be replaced");
    case K::FolderAppendOnly:
      return Tr("its folder is marked append-only (see lsattr), so no file in it can be replaced");
    case K::HardLinks:
      return Fill(Tr("it has {n} other name(s) (hard links) that would still show its content unlocked"),
                  {{"n", std::to_string(f.count)}});
    case K::BadPassword: return Tr("the password must be 1 to 24 letters or digits");
    case K::NoWorkingFile:
      return Fill(Tr("no working file can be made in its folder ({reason})"), {{"reason", SystemErrorText(f.code)}});
    case K::NoFreeName: return Tr("every name for a working file in its folder is taken");
    case K::NotKept:
      return Fill(Tr("{what} could not be kept ({reason})"),
                  {{"what", Property(f)}, {"reason", SystemErrorText(f.code)}});
    case K::AnotherRun: return Tr("another Sealdoor run is working on it");
    case K::LockedElsewhere: return Tr("another program has locked it (perhaps another Sealdoor run)");
    case K::NotTidied:
      return Fill(Tr("its former version could not be removed ({reason}); it stays hidden as {name} until the next "
                     "run in its folder removes it"),
                  {{"reason", SystemErrorText(f.code)}, {"name", quote(PathFromText(f.name))}});
    case K::LateWriterKept:
      return Fill(Tr("another program opened it for writing just as it was replaced; the version that program "
                     "writes to is kept as {name}"),
                  {{"name", quote(PathFromText(f.name))}});
    case K::LateWriterHidden:
      return Fill(Tr("another program opened it for writing just as it was replaced; the version that program "
                     "writes to stays hidden as {name} ({reason}) until the next run in its folder puts it beside "
                     "the file"),
                  {{"name", quote(PathFromText(f.name))}, {"reason", SystemErrorText(f.code)}});
    case K::OtherVersionKept:
      return Fill(Tr("another program put a file in its place while it was being processed; that file is kept as "
                     "{name}"),
                  {{"name", quote(PathFromText(f.name))}});
    case K::OtherVersionHidden:
      return Fill(Tr("another program put a file in its place while it was being processed; that file stays hidden "
                     "as {name} ({reason}) until the next run in its folder puts it beside the file"),
                  {{"name", quote(PathFromText(f.name))}, {"reason", SystemErrorText(f.code)}});
  }
  return SystemErrorText(f.code);
}

NoticeText Describe(const Notice& n, const QuotePath& quote) {
  using W = Notice::What;
  const std::string path = quote(n.path);
  const bool lock = Locks(n.action);
  switch (n.what) {
    case W::AlreadyLocked:
      return {{Fill(Tr("{path} is already locked !"), {{"path", path}}), MessageStyle::Exclamation}};
    case W::NotLocked:
      return {{Fill(Tr("{path} is not a locked file !"), {{"path", path}}), MessageStyle::Critical}};
    case W::WrongPassword: return {{Tr("Invalid password !"), MessageStyle::Critical}, false};
    case W::DamagedHead:
      return {{Fill(Tr("{path} could not be unlocked: its head is damaged"), {{"path", path}}),
               MessageStyle::Critical}};
    case W::Failed:
    case W::KeptBeside: {
      std::string reason = Reason(n.failure, quote);
      if (n.what == W::KeptBeside)
        reason = Fill(lock ? Tr("{reason}; what was read is kept, locked, as {kept}")
                           : Tr("{reason}; what was read is kept, unlocked, as {kept}"),
                      {{"reason", reason}, {"kept", quote(n.kept)}});
      return {{Fill(lock ? Tr("{path} could not be locked: {reason}") : Tr("{path} could not be unlocked: {reason}"),
                    {{"path", path}, {"reason", reason}}),
               MessageStyle::Critical}};
    }
    case W::Untidy:
      return {{Fill(lock ? Tr("{path} was locked, but {reason}") : Tr("{path} was unlocked, but {reason}"),
                    {{"path", path}, {"reason", Reason(n.failure, quote)}}),
               MessageStyle::Exclamation}};
    case W::LeftByEarlierRun:
      return {{Fill(Tr("A run that was interrupted left a version of {path}; it is kept as {kept}"),
                    {{"path", path}, {"kept", quote(n.kept)}}),
               MessageStyle::Exclamation}};
    case W::FolderNotSynced:
      return {{Fill(Tr("{path}: the disk did not confirm that the new versions of files in this folder were written "
                       "({reason}); should the power fail now, they may turn out as they were before"),
                    {{"path", path}, {"reason", Reason(n.failure, quote)}}),
               MessageStyle::Critical}};
  }
  return {};
}

}  // namespace sealdoor::text
