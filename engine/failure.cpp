#include "failure.h"

namespace sealdoor {

std::string Failure::Reason() const { return code != 0 ? SystemErrorText(code) : text; }

}  // namespace sealdoor
