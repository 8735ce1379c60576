#include "key_file.h"

#include <chrono>
#include <random>
#include <thread>

#include "folder_journal.h"

namespace sealdoor {
namespace {

SipKey FreshKey() {
  SipKey key{};
  std::random_device rd;
  for (auto& b : key) b = static_cast<std::uint8_t>(rd());
  return key;
}

}  // namespace

SipKey LoadOrMakeKey(KeyFile* file) {
  if (!file) return FreshKey();
  for (int attempt = 0; attempt < 50; ++attempt) {
    SipKey key{};
    switch (file->Load(key)) {
      case KeyFile::Read::Got: return key;
      case KeyFile::Read::Partial:
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      case KeyFile::Read::Refused: return FreshKey();
      case KeyFile::Read::Missing: break;
    }
    const SipKey fresh = FreshKey();
    switch (file->Create(fresh)) {
      case KeyFile::Made::Made: return fresh;
      case KeyFile::Made::Exists: continue;
      case KeyFile::Made::Failed: return FreshKey();
    }
  }
  return FreshKey();
}

const SipKey& JournalKey() {
  static const SipKey key = [] {
    const auto file = OpenKeyFile();
    return LoadOrMakeKey(file.get());
  }();
  return key;
}

}  // namespace sealdoor
