#include "action_texts.h"

#include "tr.h"

namespace sealdoor::text {
namespace {

constexpr ActionTexts kLock{N("Sealdoor - Lock File(s)"), N("File locked !"), N("Files locked !"), N("Locking")};
constexpr ActionTexts kUnlock{N("Sealdoor - Unlock File(s)"), N("File Unlocked !"), N("Files Unlocked !"),
                              N("Unlocking")};
constexpr ActionTexts kOpen{N("Sealdoor - Open File"), "", "", N("Unlocking")};

}  // namespace

const ActionTexts& TextsOf(Action action) noexcept {
  switch (action) {
    case Action::Lock: return kLock;
    case Action::Unlock: return kUnlock;
    case Action::UnlockAndOpen: return kOpen;
  }
  return kLock;
}

std::string Files(std::size_t n) { return Fill(TrN("{n} file", "{n} files", n), {{"n", Number(n)}}); }

std::string Folders(std::size_t n) { return Fill(TrN("{n} folder", "{n} folders", n), {{"n", Number(n)}}); }

}  // namespace sealdoor::text
