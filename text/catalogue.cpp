#include "catalogue.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

namespace sealdoor::text {
namespace {

constexpr std::uint32_t kMagic = 0x950412de;
// No catalogue of ours comes near; a larger file is not one.
constexpr std::uintmax_t kMaxBytes = 16u << 20;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A header field's value ("Plural-Forms: ..."), from the header's lines.
std::optional<std::string_view> HeaderField(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const auto end = header.find('\n');
    std::string_view line = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || Lower(line.substr(0, colon)) != Lower(name)) continue;
    line.remove_prefix(colon + 1);
    return line;
  }
  return std::nullopt;
}

}  // namespace

std::expected<Catalogue, std::string> Catalogue::Parse(std::string bytes) {
  const std::size_t size = bytes.size();
  if (size < 28) return std::unexpected(std::string("too short for a catalogue"));
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto word = [&](std::size_t at, bool swapped) -> std::uint32_t {
    const std::uint32_t b0 = data[at], b1 = data[at + 1], b2 = data[at + 2], b3 = data[at + 3];
    return swapped ? (b0 << 24 | b1 << 16 | b2 << 8 | b3) : (b3 << 24 | b2 << 16 | b1 << 8 | b0);
  };
  bool swapped = false;
  if (word(0, false) != kMagic) {
    if (word(0, true) != kMagic) return std::unexpected(std::string("not a compiled message catalogue"));
    swapped = true;
  }
  if ((word(4, swapped) >> 16) != 0) return std::unexpected(std::string("a catalogue format of a later kind"));
  const std::uint64_t count = word(8, swapped), originals = word(12, swapped), translations = word(16, swapped);
  // Each table: `count` pairs of length and offset, inside the file.
  if (count > size / 16 || originals + count * 8 > size || translations + count * 8 > size)
    return std::unexpected(std::string("its tables lie outside the file"));

  // A string of the file: `length` bytes at `offset`, followed by its NUL.
  const auto text = [&](std::uint64_t table, std::uint64_t i) -> std::optional<std::string_view> {
    const std::uint64_t length = word(static_cast<std::size_t>(table + i * 8), swapped);
    const std::uint64_t offset = word(static_cast<std::size_t>(table + i * 8 + 4), swapped);
    if (offset >= size || length >= size - offset || data[offset + length] != 0) return std::nullopt;
    return std::string_view(bytes.data() + offset, static_cast<std::size_t>(length));
  };

  Catalogue c;
  std::vector<std::pair<std::string_view, std::string_view>> entries;
  entries.reserve(static_cast<std::size_t>(count));
  std::optional<std::string_view> header;
  for (std::uint64_t i = 0; i < count; ++i) {
    const auto original = text(originals, i), translation = text(translations, i);
    if (!original || !translation) return std::unexpected(std::string("a text lies outside the file"));
    // A counting text is "singular\0plural": known by its singular.
    const std::string_view key = original->substr(0, original->find('\0'));
    if (key.empty()) {
      header = translation;
      continue;
    }
    // A text without a translation, or one of a context, is not ours to show.
    if (translation->empty() || key.find('\x04') != std::string_view::npos) continue;
    entries.emplace_back(key, *translation);
  }
  if (header) {
    if (const auto type = HeaderField(*header, "Content-Type")) {
      const std::string lower = Lower(*type);
      const auto charset = lower.find("charset=");
      if (charset != std::string::npos) {
        const std::string name = lower.substr(charset + 8);
        if (!name.starts_with("utf-8") && !name.starts_with("ascii") && !name.starts_with("us-ascii"))
          return std::unexpected("its texts are in " + name + ", not UTF-8");
      }
    }
    if (const auto forms = HeaderField(*header, "Plural-Forms")) {
      auto rule = PluralRule::Parse(*forms);
      if (!rule) return std::unexpected(std::string("its plural rule cannot be read"));
      c.plurals_ = std::move(*rule);
    }
  }
  // The views above point into `bytes`; its buffer moves with it.
  const char* before = bytes.data();
  c.bytes_ = std::make_unique<const std::string>(std::move(bytes));
  const auto rebase = [&](std::string_view v) {
    return std::string_view(c.bytes_->data() + (v.data() - before), v.size());
  };
  for (const auto& [key, value] : entries) c.entries_.emplace(rebase(key), rebase(value));
  return c;
}

std::expected<Catalogue, std::string> Catalogue::Read(const std::filesystem::path& file) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return std::unexpected(ec.message());
  if (size > kMaxBytes) return std::unexpected(std::string("too large for a catalogue"));
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::unexpected(std::string("it cannot be opened"));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::unexpected(std::string("it cannot be read"));
  return Parse(std::move(bytes));
}

std::optional<std::string_view> Catalogue::Find(std::string_view english) const {
  const auto it = entries_.find(english);
  if (it == entries_.end()) return std::nullopt;
  // A counting text asked for as a plain one: its first form.
  return it->second.substr(0, it->second.find('\0'));
}

std::optional<std::string_view> Catalogue::FindPlural(std::string_view one, std::uint64_t n) const {
  const auto it = entries_.find(one);
  if (it == entries_.end()) return std::nullopt;
  std::string_view forms = it->second;
  for (unsigned index = plurals_.Index(n); index > 0; --index) {
    const auto end = forms.find('\0');
    if (end == std::string_view::npos) return std::nullopt;  // fewer forms than the rule says
    forms.remove_prefix(end + 1);
  }
  const std::string_view form = forms.substr(0, forms.find('\0'));
  if (form.empty()) return std::nullopt;
  return form;
}

std::vector<std::string_view> Catalogue::Forms(std::string_view one) const {
  std::vector<std::string_view> out;
  const auto it = entries_.find(one);
  if (it == entries_.end()) return out;
  std::string_view forms = it->second;
  for (;;) {
    const auto end = forms.find('\0');
    out.push_back(forms.substr(0, end));
    if (end == std::string_view::npos) break;
    forms.remove_prefix(end + 1);
  }
  return out;
}

std::vector<std::string_view> Catalogue::Texts() const {
  std::vector<std::string_view> out;
  out.reserve(entries_.size());
  for (const auto& [key, value] : entries_) out.push_back(key);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace sealdoor::text
