#include "form1.h"

#include <algorithm>
#include <utility>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "base64.h"
#include "commit_group.h"
#include "format.h"
#include "key_header.h"
#include "password_rule.h"
#include "progress_meter.h"
#include "replacement_file.h"
#include "scramble.h"
#include "secure_wipe.h"
#include "source_file.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

// Content goes through in chunks of whole blocks; 3.4 MiB keeps system calls
// few and memory flat whatever the file's size.
constexpr std::size_t kChunkBlocks = std::size_t{1} << 16;
constexpr std::size_t kChunk = kChunkBlocks * format::kBlock;
constexpr std::uint64_t kReserveFrom = std::uint64_t{1} << 20;

constexpr std::uint64_t RoundUpToBlock(std::uint64_t n) {
  return (n + format::kBlock - 1) / format::kBlock * format::kBlock;
}

// The first bytes of a file are read once: they tell whether it is
// locked, and a file this small has all of its content in them too.
constexpr std::size_t kFirstRead = std::size_t{64} << 10;

// Bytes read from the start of the source, with the slack the scramble
// kernel may read past them.
class FirstBytes {
 public:
  explicit FirstBytes(std::size_t capacity)
      : buf_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity + format::kScrambleSlack)), capacity_(capacity) {
    std::memset(buf_.get() + capacity, 0, format::kScrambleSlack);
  }
  [[nodiscard]] std::span<std::uint8_t> Room() noexcept { return {buf_.get(), capacity_}; }
  void SetLength(std::size_t n) noexcept { length_ = n; }
  [[nodiscard]] std::span<const std::uint8_t> Bytes() const noexcept { return {buf_.get(), length_}; }

 private:
  std::unique_ptr<std::uint8_t[]> buf_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

// The content: `length` bytes from `inStart` of the source go to `outStart`
// of the new version, every complete block scrambled and a final incomplete
// block unchanged. A block of zeros scrambles to zeros, so the holes of a
// sparse file are skipped and stay holes. What `first` holds of the source
// is not read again, and a `prefix` (the head of a file being locked) goes
// to the bytes before `outStart` in the same write as the first chunk.
class ContentPass {
 public:
  ContentPass(SourceFile& src, ReplacementFile& out, ProgressMeter& meter, WindowPort& window,
              std::chrono::milliseconds yieldEvery, std::span<const std::uint8_t> first,
              std::span<const std::uint8_t> prefix)
      : src_(src), out_(out), meter_(meter), window_(window), yieldEvery_(yieldEvery), first_(first),
        prefix_(prefix) {}

  ~ContentPass() {
    // The head of a file being locked holds its password.
    if (out_buf_) WipeBytes(out_buf_.get(), prefix_.size());
  }
  ContentPass(const ContentPass&) = delete;
  ContentPass& operator=(const ContentPass&) = delete;

  std::expected<void, Failure> Run(std::uint64_t inStart, std::uint64_t outStart, std::uint64_t length) {
    // Buffers of a chunk, or less for a small file: a batch of many small
    // files must not pay for two large buffers each.
    chunk_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, RoundUpToBlock(length)));
    out_buf_ = MakeBuffer(prefix_.size() + chunk_);
    std::uint64_t pos = 0;  // from the content's start; a block boundary until the end
    while (pos < length) {
      auto data = src_.NextData(inStart + pos);
      if (!data) return std::unexpected(data.error());
      if (data->begin >= inStart + length) break;  // only a hole is left
      const std::uint64_t dataBegin = data->begin - inStart;
      const std::uint64_t dataEnd = std::min(data->end - inStart, length);
      const std::uint64_t from = std::max(pos, dataBegin / format::kBlock * format::kBlock);
      Skip(pos, from);
      const std::uint64_t to = std::min(length, RoundUpToBlock(std::max(dataEnd, pos + 1)));
      // Disk space for what is large, so a full disk shows before the work
      // rather than half-way; a small file would only pay the call.
      if (to - pos >= kReserveFrom) {
        if (auto r = out_.Reserve(outStart + pos, to - pos); !r) return r;
      }
      for (; pos < to;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk_, to - pos));
        const bool last = pos + want >= length;
        if (auto r = Chunk(inStart + pos, outStart + pos, want, outStart, last); !r) return r;
        pos += want;
        // A chunk takes milliseconds: a stop is heard within one, however
        // large the file.
        if (pos < length && window_.StopRequested()) {
          stopped_ = true;
          return {};
        }
      }
    }
    Skip(pos, length);
    // Nothing of the content was written (an empty file, or one that is
    // all hole): the prefix goes on its own.
    if (!prefixWritten_ && !prefix_.empty()) {
      if (auto w = out_.WriteAt(outStart - prefix_.size(), prefix_); !w) return w;
      prefixWritten_ = true;
    }
    return {};
  }

  // The content was cut short because a stop was asked for; what was
  // written is to be dropped.
  [[nodiscard]] bool Stopped() const noexcept { return stopped_; }

 private:
  // Counts the lines of a hole as done.
  void Skip(std::uint64_t& pos, std::uint64_t to) {
    if (to <= pos) return;
    meter_.AddLines(format::ContentLines(to) - pos / format::kBlock);
    pos = to;
  }

  std::expected<void, Failure> Chunk(std::uint64_t in, std::uint64_t out, std::size_t want, std::uint64_t outStart,
                                     bool last) {
    const std::uint8_t* source;
    if (in + want <= first_.size()) {
      source = first_.data() + in;  // read already, with the head
    } else {
      if (!in_) in_ = MakeBuffer(chunk_);
      auto got = src_.ReadAt(in, {in_.get(), want});
      if (!got) return std::unexpected(got.error());
      if (*got != want) return std::unexpected(Failure::Of(Failure::Kind::Changed));
      source = in_.get();
    }
    const std::size_t blocks = want / format::kBlock;
    const std::size_t tail = want % format::kBlock;
    std::uint8_t* const scrambled = out_buf_.get() + prefix_.size();
    format::ScrambleBlocks(source, scrambled, blocks);
    std::memcpy(scrambled + blocks * format::kBlock, source + blocks * format::kBlock, tail);
    std::span<const std::uint8_t> bytes(scrambled, want);
    std::uint64_t at = out;
    if (!prefixWritten_ && !prefix_.empty()) {
      if (out == outStart) {
        // Right before the content: one write for both.
        std::memcpy(out_buf_.get(), prefix_.data(), prefix_.size());
        bytes = {out_buf_.get(), prefix_.size() + want};
        at = outStart - prefix_.size();
      } else if (auto w = out_.WriteAt(outStart - prefix_.size(), prefix_); !w) {
        return w;
      }
      prefixWritten_ = true;
    }
    if (auto w = out_.WriteAt(at, bytes); !w) return w;
    meter_.AddLines(blocks + (tail != 0 ? 1 : 0));
    // Another program that opens the file for writing is held up until we
    // let go; stop at once rather than keep it waiting. After the last
    // chunk the look before the new version takes its place tells the same
    // (and it comes before the writer is let go).
    if (!last) {
      if (auto r = src_.CheckNoWriter(); !r) return r;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastYield_ >= yieldEvery_) {
      window_.Yield();
      lastYield_ = now;
    }
    return {};
  }

  SourceFile& src_;
  ReplacementFile& out_;
  ProgressMeter& meter_;
  WindowPort& window_;
  std::chrono::milliseconds yieldEvery_;
  std::span<const std::uint8_t> first_;
  std::span<const std::uint8_t> prefix_;
  bool prefixWritten_ = false;
  std::chrono::steady_clock::time_point lastYield_ = std::chrono::steady_clock::now();
  std::size_t chunk_ = 0;
  bool stopped_ = false;
  std::unique_ptr<std::uint8_t[]> in_;
  std::unique_ptr<std::uint8_t[]> out_buf_;

  static std::unique_ptr<std::uint8_t[]> MakeBuffer(std::size_t size) {
    auto buf = std::make_unique_for_overwrite<std::uint8_t[]>(size + format::kScrambleSlack);
    std::memset(buf.get() + size, 0, format::kScrambleSlack);
    return buf;
  }
};

std::array<std::uint8_t, format::kHead> MakeHead(std::string_view password, RandomSource& random) {
  std::string text = format::MakeKeyHeaderText(password, random);
  std::array<std::uint8_t, format::kHead> head{};
  if (!base64::DecodeInto(text, head)) head.fill(0);
  SecureWipe(text);
  return head;
}

}  // namespace

Form1::Form1(WindowPort& window, BatchCounters& counters, CommitGroup* group)
    : window_(window), counters_(counters), group_(group) {}

bool Form1::LockIt(const fs::path& filesseps, const std::string& nopath) {
  return Process(filesseps, nopath, Action::Lock);
}

bool Form1::UnlockIt(const fs::path& filesseps, const std::string& nopath) {
  return Process(filesseps, nopath, Action::Unlock);
}

bool Form1::Process(const fs::path& filesseps, const std::string& nopath, Action action) {
  stopped_ = false;
  if (!Locks(action)) window_.Yield();
  const auto done = Work(filesseps, nopath, action);
  // The files that wait for their commit are let go before a message
  // waits for the user.
  if ((!done || !later_.empty()) && group_) group_->Commit();
  for (const Notice& n : std::exchange(later_, {})) window_.Report(n);
  if (!done) {
    window_.Report(done.error().notice);
    counters_.TotalLines -= done.error().lowerTotalBy;
  }
  window_.Yield();
  return done.value_or(false);
}

std::expected<bool, Form1::Refusal> Form1::Work(const fs::path& filesseps, const std::string& nopath, Action action) {
  const ActionTraits& traits = TraitsOf(action);
  const bool lock = traits.locks;
  // At each pause before the content is complete: a stop leaves the file as
  // it is, and a working file made so far goes with `out` below.
  auto stopAsked = [this] { return stopped_ = window_.StopRequested(); };
  if (stopAsked()) return false;
  auto refused = [&](Notice::What what, double lowerTotalBy = 0) {
    return std::unexpected(Refusal{Notice{what, action, filesseps, {}, {}}, lowerTotalBy});
  };
  auto failed = [&](Failure f) {
    return std::unexpected(Refusal{Notice{Notice::What::Failed, action, filesseps, std::move(f), {}}, 0});
  };

  const WipedString password(window_.Password());
  // Checked here as well as in the window: a head made from anything else
  // would hold no password that could ever unlock it.
  if (!IsValidPassword(password.Get())) return failed(Failure::Of(Failure::Kind::BadPassword));

  auto src = SourceFile::Open(filesseps, action);
  if (!src) return failed(src.error());
  // Working files a killed run left in this folder go first, whatever
  // follows; what had to be kept is told of once this file is let go.
  later_ = RemoveLeftoverWorkingFiles(*src);
  const std::uint64_t size = src->Size();

  // Recognition: a locked file carries the signature at bytes 649..702.
  // The same read brings the content of a small file.
  FirstBytes first(static_cast<std::size_t>(std::min<std::uint64_t>(size, std::max(kFirstRead, format::kHead))));
  auto got = src->ReadAt(0, first.Room());
  if (!got) return failed(got.error());
  if (*got != first.Room().size()) return failed(Failure::Of(Failure::Kind::Changed));
  first.SetLength(*got);
  const std::span<const std::uint8_t> head = first.Bytes().first(std::min<std::size_t>(*got, format::kHead));
  const bool locked = format::IsLocked(head);
  window_.Yield();
  if (stopAsked()) return false;
  const double refusedLines = static_cast<double>(size) / traits.bytesPerRefusedLine;
  if (lock && locked) return refused(Notice::What::AlreadyLocked, refusedLines);
  if (!lock && !locked) return refused(Notice::What::NotLocked, refusedLines);

  window_.ShowFile(action, nopath);
  const double estimate = static_cast<double>(size) / traits.bytesPerEstimatedLine;
  window_.ShowProgress();
  window_.Yield();  // the panel shows this file before its content runs
  if (stopAsked()) return false;

  if (!lock) {
    auto stored = format::ReadStoredPassword(head.first<format::kHead>());
    // A head too damaged to name a password matches no password at all:
    // the user is told so, rather than to try the right one again.
    if (!stored) return refused(Notice::What::DamagedHead);
    const bool match = *stored == password.Get();
    SecureWipe(*stored);
    if (!match) return refused(Notice::What::WrongPassword);
  }

  if (group_) group_->MakeRoomFor(size);
  auto out = ReplacementFile::Create(*src);
  if (!out) {
    if (out.error().kind != Failure::Kind::System) return failed(out.error());
    return failed(Failure::Of(Failure::Kind::NoWorkingFile, out.error().code));
  }
  const std::uint64_t inStart = lock ? 0 : format::kHead;
  const std::uint64_t outStart = lock ? format::kHead : 0;
  const std::uint64_t contentLength = size - inStart;
  // The head of a file being locked goes out with its first content.
  std::array<std::uint8_t, format::kHead> newHead{};
  struct Wipe {
    std::array<std::uint8_t, format::kHead>& bytes;
    ~Wipe() { WipeBytes(bytes.data(), bytes.size()); }
  } wipeHead{newHead};
  if (lock) {
    newHead = MakeHead(password.Get(), random_);
    window_.Yield();
    if (stopAsked()) return false;
  }

  ProgressMeter meter(window_, counters_, estimate);
  ContentPass pass(*src, *out, meter, window_, yieldEvery_, first.Bytes(),
                   lock ? std::span<const std::uint8_t>(newHead) : std::span<const std::uint8_t>());
  if (auto r = pass.Run(inStart, outStart, contentLength); !r) return failed(r.error());
  if (pass.Stopped()) {
    stopped_ = true;
    return false;
  }
  if (auto r = out->SetSize(outStart + contentLength); !r) return failed(r.error());
  meter.Finish();

  // A file replaced or deleted meanwhile can take with it what is copied
  // here (a network or FUSE file system then fails the copy): that change,
  // found at the commit, is what the user is told of, and ours is kept.
  if (auto r = out->Prepare(); !r && src->CheckUnchanged()) return failed(r.error());
  PendingReplacement pending{std::move(*src), std::move(*out), filesseps, action, size};
  if (group_) {
    // Committed with the others of its group: a failure then is told of
    // with the file's path, and the batch's result is false.
    group_->Add(std::move(pending));
    return true;
  }
  CommitGroup alone(window_, CommitGroup::Limits{1, 0});
  alone.Add(std::move(pending));
  return alone.Flush();
}

}  // namespace sealdoor
