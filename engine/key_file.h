#pragma once
// The file that keeps this user's journal key between runs: read or made
// the same way everywhere, over a few calls of each system's own.

#include <memory>

#include "siphash.h"

namespace sealdoor {

class KeyFile {
 public:
  virtual ~KeyFile() = default;
  enum class Read {
    Got,      // the whole key
    Partial,  // shorter: another run is writing it this moment
    Missing,  // no such file yet
    Refused,  // not to be trusted (another's, readable by others, not a file) or unreadable
  };
  [[nodiscard]] virtual Read Load(SipKey& key) = 0;
  enum class Made {
    Made,    // written and synced
    Exists,  // another run made it meanwhile
    Failed,  // could not be made (nothing left of it)
  };
  [[nodiscard]] virtual Made Create(const SipKey& key) = 0;
};

// The user's key file, or none where no place for it can be had. One
// implementation per system.
[[nodiscard]] std::unique_ptr<KeyFile> OpenKeyFile();

// The key in `file`, made there first if there is none; a key for this run
// only where it cannot be kept (no file, or one not to be trusted).
[[nodiscard]] SipKey LoadOrMakeKey(KeyFile* file);

}  // namespace sealdoor
