#pragma once
// The words for what the engine reports: why a file could not be
// processed, and the message that says so.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "engine/failure.h"
#include "engine/notice.h"
#include "message.h"

namespace sealdoor::text {

// A path as a front end shows it inside a sentence: the window in single
// quotes, the terminal as the shell would need it.
using QuotePath = std::function<std::string(const std::filesystem::path&)>;

// The window's way: in single quotes, as it is.
[[nodiscard]] std::string SingleQuoted(const std::filesystem::path& path);

// Why, as the end of a sentence: "it is a folder".
[[nodiscard]] std::string Reason(const Failure& failure, const QuotePath& quote = SingleQuoted);

struct NoticeText {
  Message message;
  bool namesFile = true;  // false: the text does not say which file (a wrong password)
};

// A message that does not say which file, with the file's name before it.
[[nodiscard]] std::string NamedFile(const std::filesystem::path& path, std::string_view message,
                                    const QuotePath& quote = SingleQuoted);
// A message as one line of a list: its line breaks become spaces.
[[nodiscard]] std::string OneLine(std::string_view message);

[[nodiscard]] NoticeText Describe(const Notice& notice, const QuotePath& quote = SingleQuoted);

}  // namespace sealdoor::text
