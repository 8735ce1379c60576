#include <cerrno>
#include <cstring>

#include "engine/system_error.h"

namespace sealdoor {

std::string SystemErrorText(int code) { return std::strerror(code); }

ErrorClass ClassOf(int code) noexcept {
  switch (code) {
    case ENOSPC:
    case EDQUOT: return ErrorClass::NoSpace;
    case EACCES:
    case EPERM: return ErrorClass::NoPermission;
    case ENOENT:
    case ENOTDIR: return ErrorClass::NotFound;
    case EEXIST: return ErrorClass::Exists;
    case EROFS: return ErrorClass::ReadOnly;
    default: return ErrorClass::Other;
  }
}

}  // namespace sealdoor
