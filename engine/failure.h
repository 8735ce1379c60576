#pragma once
// Why a file could not be processed: the system's own error code, or a
// text of ours, and what kind of trouble it was.

#include <string>
#include <string_view>

namespace sealdoor {

struct Failure {
  enum class Kind {
    Error,           // anything else: the reason says what
    Changed,         // another program changed, replaced or deleted the file meanwhile
    OpenForWriting,  // another program has it open for writing
  };

  int code = 0;  // errno, or a Windows error code; 0 when `text` says it
  std::string text;
  Kind kind = Kind::Error;

  [[nodiscard]] static Failure System(int code) { return {code, {}, Kind::Error}; }
  [[nodiscard]] static Failure Because(std::string text, Kind kind = Kind::Error) {
    return {0, std::move(text), kind};
  }
  // Another program got in the way: the same words on every system.
  [[nodiscard]] static Failure ChangedMeanwhile() {
    return Because("it was changed by another program while it was being processed", Kind::Changed);
  }
  [[nodiscard]] static Failure DeletedMeanwhile() {
    return Because("it was deleted while being processed", Kind::Changed);
  }
  [[nodiscard]] static Failure OpenForWriting(std::string_view more = {}) {
    return Because("it is open for writing in another program" + std::string(more), Kind::OpenForWriting);
  }

  // The system's text for `code`, else `text`.
  [[nodiscard]] std::string Reason() const;
};

// The system's own words for an error code (strerror, FormatMessage).
[[nodiscard]] std::string SystemErrorText(int code);

}  // namespace sealdoor
