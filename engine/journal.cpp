#include "journal.h"

#include <algorithm>

namespace sealdoor::journal {
namespace {

bool Plain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

// A name in one word: every byte but letters, digits and ._- as %XX.
std::string Encode(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (Plain(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Decode(std::string_view word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const auto c = static_cast<unsigned char>(word[i]);
    if (Plain(c)) {
      out += word[i];
      continue;
    }
    if (c != '%' || i + 2 >= word.size()) return std::nullopt;
    const int hi = HexValue(word[i + 1]);
    const int lo = HexValue(word[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  // A name is never empty, never a folder's "." or "..", never holds a separator.
  if (out.empty() || out == "." || out == ".." || out.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos)
    return std::nullopt;
  return out;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const auto space = line.find(' ');
    words.push_back(line.substr(0, space));
    if (space == std::string_view::npos) break;
    line.remove_prefix(space + 1);
  }
  return words;
}

}  // namespace

std::string WorkingRecord(std::string_view name) { return "w " + Encode(name) + "\n"; }

std::string BackupRecord(std::string_view backup, std::string_view target, std::string_view working) {
  return "b " + Encode(backup) + " " + Encode(target) + " " + Encode(working) + "\n";
}

std::optional<Contents> Parse(std::string_view text) {
  if (!text.starts_with(kHeader)) return std::nullopt;
  text.remove_prefix(kHeader.size());
  Contents contents;
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) break;  // cut short: never written whole
    const std::vector<std::string_view> words = Words(text.substr(0, end));
    text.remove_prefix(end + 1);
    if (words.size() == 2 && words[0] == "w") {
      if (auto name = Decode(words[1])) contents.working.push_back(std::move(*name));
    } else if (words.size() == 4 && words[0] == "b") {
      auto backup = Decode(words[1]);
      auto target = Decode(words[2]);
      auto working = Decode(words[3]);
      if (backup && target && working)
        contents.backups.push_back({std::move(*backup), std::move(*target), std::move(*working)});
    }
  }
  return contents;
}

void Replay(const Contents& contents, Folder& folder) {
  std::vector<std::string> backupNames;
  for (const Backup& b : contents.backups) {
    backupNames.push_back(b.backup);
    if (!folder.Exists(b.backup)) continue;
    if (!folder.Exists(b.target)) {
      (void)folder.Rename(b.backup, b.target);
      continue;
    }
    // The target has a file again. If the new version is no longer under its
    // working name, it is that new version: the original is done with.
    // Otherwise another program made the file meanwhile, and the original
    // stays beside it.
    if (!folder.Exists(b.working)) {
      (void)folder.Remove(b.backup);
      continue;
    }
    const std::string beside = b.target + ".sealdoor-original";
    for (int n = 1; n < 100; ++n) {
      if (folder.Rename(b.backup, n == 1 ? beside : beside + " (" + std::to_string(n) + ")")) break;
    }
  }
  for (const std::string& w : contents.working) {
    // An original moved aside that could not be put back is never removed.
    if (std::find(backupNames.begin(), backupNames.end(), w) != backupNames.end()) continue;
    if (folder.Exists(w)) (void)folder.Remove(w);
  }
}

}  // namespace sealdoor::journal
