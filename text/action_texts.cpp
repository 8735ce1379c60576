#include "action_texts.h"

#include "tr.h"

namespace sealdoor::text {
namespace {

// Marks a text for the catalogues' template where it is not translated at
// once (Tr() is called where it is shown).
constexpr const char* N(const char* english) { return english; }

constexpr ActionTexts kLock{N("Sealdoor - Lock File(s)"), N("Lock Files"), N("File locked !"), N("Files locked !"),
                            N("Locking"), N("locked"), N("already locked")};
constexpr ActionTexts kUnlock{N("Sealdoor - Unlock File(s)"), N("Unlock Files"), N("File Unlocked !"),
                              N("Files Unlocked !"), N("Unlocking"), N("unlocked"), N("not locked")};
constexpr ActionTexts kOpen{N("Sealdoor - Open File"), N("Unlock and Open"), "", "", N("Unlocking"), N("unlocked"),
                            N("not locked")};

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
