#include "form1.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>

#include "base64.h"
#include "format.h"
#include "key_header.h"
#include "posix_io.h"
#include "progress_meter.h"
#include "replacement_file.h"
#include "scramble.h"
#include "secure_wipe.h"
#include "temp_names.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

// Content goes through in chunks of whole blocks; 3.4 MiB keeps system calls
// few and memory flat whatever the file's size.
constexpr std::size_t kChunkBlocks = std::size_t{1} << 16;
constexpr std::size_t kChunk = kChunkBlocks * format::kBlock;

const char* const kChanged = "it was changed by another program while it was being processed";

struct Source {
  io::UniqueFd fd;
  struct stat st {};
  fs::path folder;
  std::string name;
};

// Opens the file to rewrite. A link is followed: the file it points to is
// the one rewritten, in its own folder, and the link stays a link.
std::expected<Source, Failure> OpenSource(const fs::path& path, bool refuseHardLinks) {
  std::error_code ec;
  const fs::path real = fs::canonical(path, ec);
  if (ec) return std::unexpected(Failure{ec.value(), {}});
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0) return std::unexpected(Failure{errno, {}});
  // Checked before opening: opening a FIFO or a device can block or act.
  if (S_ISDIR(st.st_mode)) return std::unexpected(Failure{0, "it is a folder"});
  if (!S_ISREG(st.st_mode)) return std::unexpected(Failure{0, "it is not a regular file"});
  if (refuseHardLinks && st.st_nlink > 1)
    return std::unexpected(Failure{
        0, "it has " + std::to_string(st.st_nlink - 1) +
               " other name(s) (hard links) that would still show its content unlocked"});
  auto fd = io::Open(real, O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
  if (!fd) return std::unexpected(Failure{fd.error(), {}});
  auto now = io::Fstat(fd->Get());
  if (!now) return std::unexpected(Failure{now.error(), {}});
  if (!S_ISREG(now->st_mode) || now->st_ino != st.st_ino || now->st_dev != st.st_dev)
    return std::unexpected(Failure{0, kChanged});
  ::posix_fadvise(fd->Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return Source{std::move(*fd), *now, real.parent_path(), real.filename().string()};
}

bool SameVersion(const struct stat& a, const struct stat& b) noexcept {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// True when the file is still, under its name, the version we read.
std::expected<void, Failure> CheckUnchanged(const Source& src) {
  auto now = io::Fstat(src.fd.Get());
  if (!now) return std::unexpected(Failure{now.error(), {}});
  struct stat named {};
  const fs::path path = src.folder / src.name;
  if (::lstat(path.c_str(), &named) != 0) {
    if (errno == ENOENT) return std::unexpected(Failure{0, "it was deleted while being processed"});
    return std::unexpected(Failure{errno, {}});
  }
  if (!SameVersion(*now, src.st) || !SameVersion(named, src.st))
    return std::unexpected(Failure{0, kChanged});
  return {};
}

// Streams `length` bytes from `offset` of the source into `out`, every
// complete block scrambled and a final incomplete block unchanged.
std::expected<void, Failure> TransformContent(const Source& src, off_t offset,
                                              std::uint64_t length, ReplacementFile& out,
                                              ProgressMeter& meter, WindowPort& window,
                                              std::chrono::milliseconds yieldEvery) {
  const auto inBuf = std::make_unique_for_overwrite<std::uint8_t[]>(kChunk + format::kScrambleSlack);
  const auto outBuf = std::make_unique_for_overwrite<std::uint8_t[]>(kChunk + format::kScrambleSlack);
  std::memset(inBuf.get() + kChunk, 0, format::kScrambleSlack);
  auto lastYield = std::chrono::steady_clock::now();
  std::uint64_t done = 0;
  while (done < length) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
    auto got = io::PreadFull(src.fd.Get(), {inBuf.get(), want}, offset + static_cast<off_t>(done));
    if (!got) return std::unexpected(Failure{got.error(), {}});
    if (*got != want) return std::unexpected(Failure{0, kChanged});
    const std::size_t blocks = want / format::kBlock;
    const std::size_t tail = want % format::kBlock;
    format::ScrambleBlocks(inBuf.get(), outBuf.get(), blocks);
    std::memcpy(outBuf.get() + blocks * format::kBlock, inBuf.get() + blocks * format::kBlock, tail);
    if (auto w = out.Write({outBuf.get(), want}); !w) return std::unexpected(Failure{w.error(), {}});
    meter.AddLines(blocks + (tail != 0 ? 1 : 0));
    done += want;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastYield >= yieldEvery) {
      window.Yield();
      lastYield = now;
    }
  }
  return {};
}

std::array<std::uint8_t, format::kHead> MakeHead(std::string_view password, RandomSource& random) {
  std::string text = format::MakeKeyHeaderText(password, random);
  std::array<std::uint8_t, format::kHead> head{};
  std::vector<std::uint8_t> bytes;
  const bool ok = base64::DecodeAppend(text, bytes);
  SecureWipe(text);
  if (ok && bytes.size() == head.size()) std::memcpy(head.data(), bytes.data(), head.size());
  ::explicit_bzero(bytes.data(), bytes.size());
  return head;
}

}  // namespace

Form1::Form1(WindowPort& window, BatchCounters& counters) : window_(window), counters_(counters) {}

void Form1::LockIt(const fs::path& filesseps, const std::string& nopath, bool& result) {
  Process(filesseps, nopath, result, Mode::Lock);
}

void Form1::UnlockIt(const fs::path& filesseps, const std::string& nopath, bool& result) {
  Process(filesseps, nopath, result, Mode::Unlock);
}

void Form1::Process(const fs::path& filesseps, const std::string& nopath, bool& result, Mode mode) {
  result = false;
  const bool lock = mode == Mode::Lock;
  const std::string quoted = "'" + filesseps.string() + "'";
  auto fail = [&](const Failure& f) {
    window_.Message(quoted + (lock ? " could not be locked: " : " could not be unlocked: ") + f.Reason(),
                    MessageStyle::Critical);
  };

  auto src = OpenSource(filesseps, lock);
  if (!src) return fail(src.error());
  // Working files a killed run left in this folder go first, whatever follows.
  RemoveLeftoverWorkingFiles(src->folder);
  const auto size = static_cast<std::uint64_t>(src->st.st_size);

  // Recognition: a locked file carries the signature at bytes 649..702.
  std::array<std::uint8_t, format::kHead> head{};
  auto got = io::PreadFull(src->fd.Get(), head, 0);
  if (!got) return fail(Failure{got.error(), {}});
  if (*got != std::min<std::uint64_t>(size, format::kHead)) return fail(Failure{0, kChanged});
  const bool locked = format::IsLocked(std::span(head).first(*got));
  window_.Yield();
  if (lock && locked) {
    window_.Message(quoted + " is already locked !", MessageStyle::Exclamation);
    counters_.TotalLines -= static_cast<double>(size) / 54;
    return;
  }
  if (!lock && !locked) {
    window_.Message(quoted + " is not a locked file !", MessageStyle::Critical);
    counters_.TotalLines -= static_cast<double>(size) / 74;
    return;
  }

  window_.SetCaption(Caption::Label18, lock ? "Locking" : "Unlocking");
  window_.SetCaption(Caption::Label16, nopath);
  const double estimate = static_cast<double>(size) / (lock ? 54 : 60);
  window_.ShowProgress();

  if (!lock) {
    auto stored = format::ReadStoredPassword(std::span<const std::uint8_t, format::kHead>(head));
    const WipedString typed(window_.Password());
    // A head too damaged to name a password matches no typed one.
    const bool match = stored && *stored == typed.Get();
    if (stored) SecureWipe(*stored);
    if (!match) {
      window_.Message("Invalid password !", MessageStyle::Critical);
      return;
    }
  }

  auto out = ReplacementFile::Create(src->folder, random_);
  if (!out) {
    Failure f = out.error();
    f.text = "no working file can be made in its folder (" + f.Reason() + ")";
    f.code = 0;
    return fail(f);
  }
  const std::uint64_t contentOffset = lock ? 0 : format::kHead;
  const std::uint64_t contentLength = size - contentOffset;
  if (auto r = out->Reserve(lock ? size + format::kHead : contentLength); !r)
    return fail(Failure{r.error(), {}});
  if (lock) {
    const WipedString password(window_.Password());
    auto newHead = MakeHead(password.Get(), random_);
    const auto w = out->Write(newHead);
    ::explicit_bzero(newHead.data(), newHead.size());
    if (!w) return fail(Failure{w.error(), {}});
  }

  ProgressMeter meter(window_, counters_, estimate);
  if (auto r = TransformContent(*src, static_cast<off_t>(contentOffset), contentLength, *out, meter,
                                window_, yieldEvery_);
      !r)
    return fail(r.error());
  meter.Finish();

  if (auto r = CheckUnchanged(*src); !r) {
    // Another program changed, replaced or deleted the file meanwhile: its
    // version stays as it is, and ours, made from what we read, is kept
    // beside it, so neither is lost.
    Failure f = r.error();
    const std::string suffix = lock ? ".sealdoor-locked" : ".sealdoor-unlocked";
    if (auto kept = out->KeepBeside(src->name + suffix, src->st)) {
      f.text = f.Reason() + "; what was read is kept, " + (lock ? "locked" : "unlocked") + ", as '" +
               (src->folder / *kept).string() + "'";
      f.code = 0;
    }
    return fail(f);
  }
  if (auto r = out->Commit(src->name, src->st); !r) return fail(r.error());
  result = true;
}

bool Form1::MKH(const fs::path& passfile) {
  const WipedString password(window_.Password());
  std::string text = format::KeyHeaderFileText(format::MakeKeyHeaderText(password.Get(), random_));
  bool ok = false;
  if (auto fd = io::Open(passfile, O_WRONLY | O_CREAT | O_TRUNC, 0600)) {
    ok = io::WriteAll(fd->Get(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()})
             .has_value();
  }
  SecureWipe(text);
  return ok;
}

std::string Form1::GetTempFileName() { return DrawTempFileName(random_); }

}  // namespace sealdoor
