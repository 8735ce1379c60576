#include "journal.h"

#include <algorithm>
#include <cstdio>

#include "beside_name.h"

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

// A signature: the record's SipHash in 16 hex digits.
std::string Hex(std::uint64_t v) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kHex[v & 15];
  return out;
}

std::string SignedText(const Signer& s, std::string_view record) {
  std::string text;
  text.reserve(s.folder.size() + s.journal.size() + record.size() + 2);
  text.append(s.folder).append(1, '\0').append(s.journal).append(1, '\0').append(record);
  return text;
}

}  // namespace

std::string Signer::Sign(std::string_view record) const {
  return std::string(record) + " " + Hex(SipHash24(key, SignedText(*this, record))) + "\n";
}

bool Signer::Verify(std::string_view record, std::string_view signature) const {
  return signature.size() == 16 && signature == Hex(SipHash24(key, SignedText(*this, record)));
}

std::string WorkingRecord(std::string_view name) { return "w " + Encode(name); }

std::string BackupRecord(std::string_view backup, std::string_view target, std::string_view working) {
  return "b " + Encode(backup) + " " + Encode(target) + " " + Encode(working);
}

std::string DoneRecord(std::string_view backup) { return "d " + Encode(backup); }

std::string KeepRecord(std::string_view name, std::string_view target, std::string_view beside) {
  return "k " + Encode(name) + " " + Encode(target) + " " + Encode(beside);
}

std::optional<Contents> Parse(std::string_view text, const Signer& signer) {
  if (!text.starts_with(kHeader)) return std::nullopt;
  text.remove_prefix(kHeader.size());
  Contents contents;
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) break;  // cut short: never written whole
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const auto space = line.rfind(' ');
    if (space == std::string_view::npos || !signer.Verify(line.substr(0, space), line.substr(space + 1))) continue;
    const std::vector<std::string_view> words = Words(line.substr(0, space));
    if (words.size() == 2 && words[0] == "w") {
      if (auto name = Decode(words[1])) contents.working.push_back(std::move(*name));
    } else if (words.size() == 2 && words[0] == "d") {
      if (auto name = Decode(words[1])) contents.done.push_back(std::move(*name));
    } else if (words.size() == 4 && words[0] == "k") {
      auto name = Decode(words[1]);
      auto target = Decode(words[2]);
      auto beside = Decode(words[3]);
      if (name && target && beside) contents.keep.push_back({std::move(*name), std::move(*target), std::move(*beside)});
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

std::vector<KeptBeside> Replay(const Contents& contents, Folder& folder) {
  std::vector<KeptBeside> kept;
  std::vector<std::string> spared;  // names that hold a version to keep
  auto keepBeside = [&](const std::string& name, const std::string& target, const std::string& base) {
    spared.push_back(name);
    for (int n = 1; n <= kMostBeside; ++n) {
      const std::string beside = BesideName(base, n);
      if (folder.Rename(name, beside)) {
        kept.push_back({target, beside});
        return;
      }
    }
  };
  auto has = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (const Keep& k : contents.keep) {
    if (folder.Exists(k.name)) keepBeside(k.name, k.target, k.beside);
    spared.push_back(k.name);
  }
  for (const Backup& b : contents.backups) {
    spared.push_back(b.backup);
    if (!folder.Exists(b.backup)) continue;
    if (has(contents.done, b.backup)) {
      // Its new version took its place: the former version is done with.
      (void)folder.Remove(b.backup);
      continue;
    }
    const std::string beside = b.target + std::string(kOriginalSuffix);
    if (folder.Exists(b.working)) {
      // The new version never left its working name: the original is the
      // file, and goes back where nothing else stands meanwhile.
      if (!folder.Exists(b.target) && folder.Rename(b.backup, b.target)) continue;
      keepBeside(b.backup, b.target, beside);
      continue;
    }
    // Whether the new version took its place cannot be told: the original
    // is never put back over nothing (the user may have moved or deleted
    // the new version since), nor removed.
    keepBeside(b.backup, b.target, beside);
  }
  for (const std::string& w : contents.working) {
    if (has(spared, w)) continue;
    if (folder.Exists(w)) (void)folder.Remove(w);
  }
  return kept;
}

}  // namespace sealdoor::journal
