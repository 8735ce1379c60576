#include <cstring>

#include "engine/failure.h"

namespace sealdoor {

std::string SystemErrorText(int code) { return std::strerror(code); }

}  // namespace sealdoor
