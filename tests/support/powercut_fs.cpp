// powercut-fs: a FUSE file system over a folder (the "disk") that keeps a
// file's content only once the file is synced, and that loses on command
// everything not yet synced, as a power cut does.
//
//   powercut-fs [--names-need-folder-sync] [--no-xattr] [--no-hardlinks] DISK TRASH MOUNTPOINT
//
// It runs in the foreground. SIGTERM is the power cut: every file whose
// content was changed since its last fsync gets back the content it had
// then (a file made since and never synced: nothing), then the file system
// goes away. Mounting it again over DISK is the machine coming back.
//
// What reaches the disk at once, as on a journaling file system in its
// usual mode: names (made, removed, renamed, linked), modes, owners, times,
// extended attributes. With --names-need-folder-sync, a change of names is
// lost too unless a folder it touched was synced (fsync of the folder)
// before the cut; TRASH (a folder on the same file system as DISK) keeps
// what was removed meanwhile, so that it can come back.
//
// What a real disk may do that this model does not:
// - lose part of a file's unsynced content rather than all of it, or keep
//   some of it (here it is all or nothing per file, back to its last sync);
// - reorder names among themselves (a later name change surviving an
//   earlier one) beyond what the folder syncs decide here;
// - lose changes of modes, owners, times and attributes;
// - tear a single write, or return errors that a cut causes.
// It refuses renames with flags (RENAME_NOREPLACE, RENAME_EXCHANGE) with
// EINVAL, as many FUSE file systems do, and never forwards a sync of the
// whole file system (syncfs), which FUSE does not pass on to it.

#define FUSE_USE_VERSION 35
#include <fuse3/fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Options {
  bool namesNeedFolderSync = false;
  bool xattr = true;
  bool hardlinks = true;
};

Options gOptions;
int gDisk = -1;   // the folder below the mount
int gTrash = -1;  // removed files that a cut may bring back
std::mutex gMutex;

// A path of the mount as a name relative to the disk folder ("." for the
// root). A file removed while open has none: a name that leads nowhere.
std::string Rel(const char* path) {
  if (!path) return "\x01removed";
  return path[1] == '\0' ? std::string(".") : std::string(path + 1);
}

std::string Parent(const std::string& rel) {
  const auto slash = rel.rfind('/');
  return slash == std::string::npos ? std::string(".") : rel.substr(0, slash);
}

int Err() { return -errno; }

// --- content: each file changed since its last sync, with what it held then

struct Dirty {
  int fd = -1;             // the file itself, to put its old content back
  std::vector<char> kept;  // its content at its last sync
};
std::map<ino_t, Dirty> gDirty;

std::vector<char> ReadAll(int fd) {
  std::vector<char> all;
  char buf[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n <= 0) break;
    all.insert(all.end(), buf, buf + n);
    at += n;
  }
  return all;
}

// Before a file's content changes: what it holds now is what a cut brings
// back, unless it already changed since its last sync.
void WillChange(const std::string& rel, bool isNew) {
  struct stat st {};
  if (::fstatat(gDisk, rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return;
  const std::lock_guard lock(gMutex);
  if (gDirty.contains(st.st_ino)) return;
  const int fd = ::openat(gDisk, rel.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  Dirty d;
  d.fd = fd;
  if (!isNew) d.kept = ReadAll(fd);
  gDirty.emplace(st.st_ino, std::move(d));
}

void WillChangeFd(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  const std::lock_guard lock(gMutex);
  if (gDirty.contains(st.st_ino)) return;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  Dirty d;
  d.fd = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
  if (d.fd < 0) return;
  d.kept = ReadAll(fd);
  gDirty.emplace(st.st_ino, std::move(d));
}

void Synced(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  const std::lock_guard lock(gMutex);
  const auto it = gDirty.find(st.st_ino);
  if (it == gDirty.end()) return;
  ::close(it->second.fd);
  gDirty.erase(it);
}

// --- names (with --names-need-folder-sync): each change, and how to undo it

struct NameChange {
  std::vector<std::string> folders;  // synced any of them: the change is on the disk
  std::string made;                  // a name that appeared
  std::string movedFrom;             // a rename's source, to move it back
  std::string trashed;               // a file that the change removed, kept in the trash
  std::string trashedFrom;           // where that file was
};
std::vector<NameChange> gNames;
unsigned long gTrashCount = 0;

// Instead of removing `rel`: into the trash, so that a cut can bring it back.
int ToTrash(const std::string& rel, NameChange& change) {
  const std::string name = std::to_string(++gTrashCount);
  if (::renameat(gDisk, rel.c_str(), gTrash, name.c_str()) != 0) return Err();
  change.trashed = name;
  change.trashedFrom = rel;
  return 0;
}

void FolderSynced(const std::string& folder) {
  const std::lock_guard lock(gMutex);
  std::erase_if(gNames, [&](const NameChange& c) {
    for (const auto& f : c.folders)
      if (f == folder) return true;
    return false;
  });
}

void Record(NameChange change) {
  if (!gOptions.namesNeedFolderSync) return;
  const std::lock_guard lock(gMutex);
  gNames.push_back(std::move(change));
}

// --- the power cut

void Cut() {
  const std::lock_guard lock(gMutex);
  for (auto& [ino, d] : gDirty) {
    if (::ftruncate(d.fd, 0) == 0 && !d.kept.empty()) (void)!::pwrite(d.fd, d.kept.data(), d.kept.size(), 0);
    ::fsync(d.fd);
    ::close(d.fd);
  }
  gDirty.clear();
  for (auto it = gNames.rbegin(); it != gNames.rend(); ++it) {
    if (!it->movedFrom.empty())
      (void)::renameat(gDisk, it->made.c_str(), gDisk, it->movedFrom.c_str());
    else if (!it->made.empty() && ::unlinkat(gDisk, it->made.c_str(), 0) != 0)
      (void)::unlinkat(gDisk, it->made.c_str(), AT_REMOVEDIR);
    if (!it->trashed.empty()) (void)::renameat(gTrash, it->trashed.c_str(), gDisk, it->trashedFrom.c_str());
  }
  gNames.clear();
  ::syncfs(gDisk);
}

// --- the operations

void* Init(fuse_conn_info*, fuse_config* cfg) {
  cfg->use_ino = 1;      // the disk's file numbers, as a program compares them
  cfg->hard_remove = 1;  // no ".fuse_hidden" names for files removed while open
  cfg->nullpath_ok = 1;  // an open file is served through its descriptor, named or not
  cfg->entry_timeout = 0;
  cfg->attr_timeout = 0;
  cfg->negative_timeout = 0;
  return nullptr;
}

void Destroy(void*) { Cut(); }

// With nullpath_ok, `path` is null for a file removed while open; every
// operation given `fi` works through the descriptor alone.
int Getattr(const char* path, struct stat* st, fuse_file_info* fi) {
  const int r = fi ? ::fstat(static_cast<int>(fi->fh), st)
                   : ::fstatat(gDisk, Rel(path).c_str(), st, AT_SYMLINK_NOFOLLOW);
  return r == 0 ? 0 : Err();
}

int Access(const char* path, int mask) {
  return ::faccessat(gDisk, Rel(path).c_str(), mask, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : Err();
}

int Readlink(const char* path, char* buf, size_t size) {
  const ssize_t n = ::readlinkat(gDisk, Rel(path).c_str(), buf, size - 1);
  if (n < 0) return Err();
  buf[n] = '\0';
  return 0;
}

int Readdir(const char*, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info* fi, fuse_readdir_flags) {
  const int fd = ::openat(gDisk, reinterpret_cast<std::string*>(fi->fh)->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Err();
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return Err();
  }
  while (const dirent* e = ::readdir(d)) {
    struct stat st {};
    st.st_ino = e->d_ino;
    st.st_mode = static_cast<mode_t>(e->d_type) << 12;
    if (fill(buf, e->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0))) break;
  }
  ::closedir(d);
  return 0;
}

void OwnByCaller(const std::string& rel) {
  const fuse_context* c = fuse_get_context();
  // Only root may give a file away; run as anyone else, the file system's
  // files stay its own, which is all a test of one user needs.
  if (::fchownat(gDisk, rel.c_str(), c->uid, c->gid, AT_SYMLINK_NOFOLLOW) != 0) return;
}

int Mkdir(const char* path, mode_t mode) {
  const std::string rel = Rel(path);
  if (::mkdirat(gDisk, rel.c_str(), mode) != 0) return Err();
  OwnByCaller(rel);
  Record({{Parent(rel)}, rel, {}, {}, {}});
  return 0;
}

int Symlink(const char* target, const char* path) {
  const std::string rel = Rel(path);
  if (::symlinkat(target, gDisk, rel.c_str()) != 0) return Err();
  OwnByCaller(rel);
  Record({{Parent(rel)}, rel, {}, {}, {}});
  return 0;
}

int Remove(const char* path, bool folder) {
  const std::string rel = Rel(path);
  if (!gOptions.namesNeedFolderSync)
    return ::unlinkat(gDisk, rel.c_str(), folder ? AT_REMOVEDIR : 0) == 0 ? 0 : Err();
  struct stat st {};
  if (::fstatat(gDisk, rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Err();
  if (folder != S_ISDIR(st.st_mode)) return folder ? -ENOTDIR : -EISDIR;
  if (folder) {
    const int fd = ::openat(gDisk, rel.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    int entries = 0;
    while (d && ::readdir(d)) ++entries;
    if (d) ::closedir(d);
    if (entries > 2) return -ENOTEMPTY;
  }
  NameChange change{{Parent(rel)}, {}, {}, {}, {}};
  const std::lock_guard lock(gMutex);
  if (const int r = ToTrash(rel, change); r != 0) return r;
  gNames.push_back(std::move(change));
  return 0;
}

int Unlink(const char* path) { return Remove(path, false); }
int Rmdir(const char* path) { return Remove(path, true); }

int Rename(const char* from, const char* to, unsigned int flags) {
  if (flags != 0) return -EINVAL;
  const std::string src = Rel(from), dst = Rel(to);
  NameChange change{{Parent(src), Parent(dst)}, dst, src, {}, {}};
  const std::lock_guard lock(gMutex);
  struct stat st {};
  if (gOptions.namesNeedFolderSync && ::fstatat(gDisk, dst.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    struct stat from_st {};
    if (::fstatat(gDisk, src.c_str(), &from_st, AT_SYMLINK_NOFOLLOW) != 0) return Err();
    if (from_st.st_ino == st.st_ino) return 0;
    if (const int r = ToTrash(dst, change); r != 0) return r;
  }
  if (::renameat(gDisk, src.c_str(), gDisk, dst.c_str()) != 0) {
    const int err = Err();
    if (!change.trashed.empty()) (void)::renameat(gTrash, change.trashed.c_str(), gDisk, dst.c_str());
    return err;
  }
  if (gOptions.namesNeedFolderSync) gNames.push_back(std::move(change));
  return 0;
}

int Link(const char* from, const char* to) {
  if (!gOptions.hardlinks) return -EPERM;
  const std::string dst = Rel(to);
  if (::linkat(gDisk, Rel(from).c_str(), gDisk, dst.c_str(), 0) != 0) return Err();
  Record({{Parent(dst)}, dst, {}, {}, {}});
  return 0;
}

int Chmod(const char* path, mode_t mode, fuse_file_info* fi) {
  const int r = fi ? ::fchmod(static_cast<int>(fi->fh), mode) : ::fchmodat(gDisk, Rel(path).c_str(), mode, 0);
  return r == 0 ? 0 : Err();
}

int Chown(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
  const int r = fi ? ::fchown(static_cast<int>(fi->fh), uid, gid)
                   : ::fchownat(gDisk, Rel(path).c_str(), uid, gid, AT_SYMLINK_NOFOLLOW);
  return r == 0 ? 0 : Err();
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
  if (fi) {
    WillChangeFd(static_cast<int>(fi->fh));
    return ::ftruncate(static_cast<int>(fi->fh), size) == 0 ? 0 : Err();
  }
  const std::string rel = Rel(path);
  WillChange(rel, false);
  const int fd = ::openat(gDisk, rel.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Err();
  const int r = ::ftruncate(fd, size) == 0 ? 0 : Err();
  ::close(fd);
  return r;
}

int Utimens(const char* path, const timespec tv[2], fuse_file_info* fi) {
  const int r = fi ? ::futimens(static_cast<int>(fi->fh), tv)
                   : ::utimensat(gDisk, Rel(path).c_str(), tv, AT_SYMLINK_NOFOLLOW);
  return r == 0 ? 0 : Err();
}

int Open(const char* path, fuse_file_info* fi) {
  const std::string rel = Rel(path);
  const bool writes = (fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & O_TRUNC);
  if (writes) WillChange(rel, false);
  const int fd = ::openat(gDisk, rel.c_str(), (fi->flags & ~(O_CREAT | O_EXCL | O_NOCTTY)) | O_CLOEXEC);
  if (fd < 0) return Err();
  fi->fh = static_cast<uint64_t>(fd);
  return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
  const std::string rel = Rel(path);
  const int fd = ::openat(gDisk, rel.c_str(), fi->flags | O_CREAT | O_CLOEXEC, mode);
  if (fd < 0) return Err();
  fi->fh = static_cast<uint64_t>(fd);
  OwnByCaller(rel);
  WillChange(rel, true);
  Record({{Parent(rel)}, rel, {}, {}, {}});
  return 0;
}

int Read(const char*, char* buf, size_t size, off_t at, fuse_file_info* fi) {
  const ssize_t n = ::pread(static_cast<int>(fi->fh), buf, size, at);
  return n < 0 ? Err() : static_cast<int>(n);
}

int Write(const char*, const char* buf, size_t size, off_t at, fuse_file_info* fi) {
  WillChangeFd(static_cast<int>(fi->fh));
  const ssize_t n = ::pwrite(static_cast<int>(fi->fh), buf, size, at);
  return n < 0 ? Err() : static_cast<int>(n);
}

int Fallocate(const char*, int mode, off_t at, off_t length, fuse_file_info* fi) {
  WillChangeFd(static_cast<int>(fi->fh));
  return ::fallocate(static_cast<int>(fi->fh), mode, at, length) == 0 ? 0 : Err();
}

int Statfs(const char*, struct statvfs* st) { return ::fstatvfs(gDisk, st) == 0 ? 0 : Err(); }

int Release(const char*, fuse_file_info* fi) {
  ::close(static_cast<int>(fi->fh));
  return 0;
}

int Fsync(const char*, int, fuse_file_info* fi) {
  const int fd = static_cast<int>(fi->fh);
  if (::fsync(fd) != 0) return Err();
  Synced(fd);
  return 0;
}

// A folder open for reading keeps its name in its handle: the sync of an
// open folder comes without a path.
int Opendir(const char* path, fuse_file_info* fi) {
  fi->fh = reinterpret_cast<uint64_t>(new std::string(Rel(path)));
  return 0;
}

int Releasedir(const char*, fuse_file_info* fi) {
  delete reinterpret_cast<std::string*>(fi->fh);
  return 0;
}

int Fsyncdir(const char*, int, fuse_file_info* fi) {
  FolderSynced(*reinterpret_cast<std::string*>(fi->fh));
  return 0;
}

std::string ProcPath(const char* path) { return "/proc/self/fd/" + std::to_string(gDisk) + (path ? path : "/"); }

int Setxattr(const char* path, const char* name, const char* value, size_t size, int flags) {
  if (!path) return -ESTALE;  // removed while open: no name to reach it by
  if (!gOptions.xattr) return -ENOTSUP;
  return ::lsetxattr(ProcPath(path).c_str(), name, value, size, flags) == 0 ? 0 : Err();
}

int Getxattr(const char* path, const char* name, char* value, size_t size) {
  if (!path) return -ESTALE;  // removed while open: no name to reach it by
  if (!gOptions.xattr) return -ENOTSUP;
  const ssize_t n = ::lgetxattr(ProcPath(path).c_str(), name, value, size);
  return n < 0 ? Err() : static_cast<int>(n);
}

int Listxattr(const char* path, char* list, size_t size) {
  if (!path) return -ESTALE;  // removed while open: no name to reach it by
  if (!gOptions.xattr) return 0;
  const ssize_t n = ::llistxattr(ProcPath(path).c_str(), list, size);
  return n < 0 ? Err() : static_cast<int>(n);
}

int Removexattr(const char* path, const char* name) {
  if (!path) return -ESTALE;  // removed while open: no name to reach it by
  if (!gOptions.xattr) return -ENOTSUP;
  return ::lremovexattr(ProcPath(path).c_str(), name) == 0 ? 0 : Err();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--names-need-folder-sync")
      gOptions.namesNeedFolderSync = true;
    else if (a == "--no-xattr")
      gOptions.xattr = false;
    else if (a == "--no-hardlinks")
      gOptions.hardlinks = false;
    else
      positional.push_back(a);
  }
  if (positional.size() != 3) {
    std::fprintf(stderr,
                 "usage: powercut-fs [--names-need-folder-sync] [--no-xattr] [--no-hardlinks] DISK TRASH MOUNTPOINT\n");
    return 2;
  }
  gDisk = ::open(positional[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  gTrash = ::open(positional[1].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (gDisk < 0 || gTrash < 0) {
    std::perror("powercut-fs");
    return 1;
  }
  static fuse_operations ops{};
  ops.init = Init;
  ops.destroy = Destroy;
  ops.getattr = Getattr;
  ops.access = Access;
  ops.readlink = Readlink;
  ops.readdir = Readdir;
  ops.mkdir = Mkdir;
  ops.symlink = Symlink;
  ops.unlink = Unlink;
  ops.rmdir = Rmdir;
  ops.rename = Rename;
  ops.link = Link;
  ops.chmod = Chmod;
  ops.chown = Chown;
  ops.truncate = Truncate;
  ops.utimens = Utimens;
  ops.open = Open;
  ops.create = Create;
  ops.read = Read;
  ops.write = Write;
  ops.fallocate = Fallocate;
  ops.statfs = Statfs;
  ops.release = Release;
  ops.fsync = Fsync;
  ops.opendir = Opendir;
  ops.releasedir = Releasedir;
  ops.fsyncdir = Fsyncdir;
  ops.setxattr = Setxattr;
  ops.getxattr = Getxattr;
  ops.listxattr = Listxattr;
  ops.removexattr = Removexattr;
  // Foreground, one thread: operations in the order they come. The kernel
  // checks permissions; a run as root serves its own tests.
  std::vector<std::string> args = {"powercut-fs", "-f", "-s", "-o", "default_permissions,fsname=powercut",
                                   positional[2]};
  std::vector<char*> fuseArgv;
  for (auto& a : args) fuseArgv.push_back(a.data());
  return fuse_main(static_cast<int>(fuseArgv.size()), fuseArgv.data(), &ops, nullptr);
}
