#include "name_quoting.h"

#include <cstdio>
#include <vector>

namespace sealdoor::cli {
namespace {

// One character of the name: a printable UTF-8 sequence, or a byte that
// must be escaped (a control character, or a byte that is not UTF-8).
struct Piece {
  std::string_view bytes;
  bool printable;
};

std::size_t SequenceLength(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  if (n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0) return 0;  // C1 controls
  return n;
}

std::vector<Piece> Pieces(std::string_view s) {
  std::vector<Piece> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = SequenceLength(s, i);
    const bool printable = n > 0 && !(n == 1 && (c < 0x20 || c == 0x7F));
    const std::size_t take = n > 0 ? n : 1;
    out.push_back({s.substr(i, take), printable});
    i += take;
  }
  return out;
}

std::string Escape(unsigned char c) {
  switch (c) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    case 0x1B: return "\\E";
    default: {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      return buf;
    }
  }
}

bool Plain(std::string_view s) {
  if (s.empty()) return false;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c >= 0x80 || std::string_view("._/+,:@%=-").find(ch) != std::string_view::npos;
    if (!safe) return false;
  }
  for (const auto& p : Pieces(s))
    if (!p.printable) return false;
  return s.front() != '~';
}

}  // namespace

std::string QuoteAlways(std::string_view name) {
  // Printable runs in single quotes (a quote itself as \'), every other
  // byte as $'\n', the form shells read back as the same name.
  std::string out;
  bool open = false;
  for (const auto& p : Pieces(name)) {
    if (p.printable && p.bytes != "'") {
      if (!open) out += '\'';
      open = true;
      out += p.bytes;
      continue;
    }
    if (open) out += '\'';
    open = false;
    if (p.bytes == "'") {
      out += "\\'";
    } else {
      out += "$'" + Escape(static_cast<unsigned char>(p.bytes[0])) + "'";
    }
  }
  if (open) out += '\'';
  if (out.empty()) out = "''";
  return out;
}

std::string QuoteIfNeeded(std::string_view name) { return Plain(name) ? std::string(name) : QuoteAlways(name); }

std::size_t DisplayLength(std::string_view text) { return Pieces(text).size(); }

std::string ElideMiddle(std::string_view text, std::size_t width) {
  const auto pieces = Pieces(text);
  if (pieces.size() <= width) return std::string(text);
  if (width == 0) return {};
  const std::size_t keep = width - 1;  // one place for the ellipsis
  const std::size_t tail = keep / 2;
  const std::size_t head = keep - tail;
  std::string out;
  for (std::size_t i = 0; i < head; ++i) out += pieces[i].bytes;
  out += "\u2026";
  for (std::size_t i = pieces.size() - tail; i < pieces.size(); ++i) out += pieces[i].bytes;
  return out;
}

}  // namespace sealdoor::cli
