#pragma once
// The system's own words for its error codes, and the few kinds of error a
// user can do something about. One implementation per system.

#include <string>

namespace sealdoor {

// strerror, FormatMessage: in the system's language.
[[nodiscard]] std::string SystemErrorText(int code);

enum class ErrorClass { NoSpace, NoPermission, NotFound, Exists, ReadOnly, Other };
[[nodiscard]] ErrorClass ClassOf(int code) noexcept;

}  // namespace sealdoor
