#include "engine/path_text.h"

namespace sealdoor {

// A name is its bytes.
std::string PathText(const std::filesystem::path& p) { return p.native(); }

std::filesystem::path PathFromText(std::string_view text) { return std::filesystem::path(std::string(text)); }

}  // namespace sealdoor
