#pragma once
// Which plural form of a counting text a language takes for a number, as a
// catalogue's header states it: "nplurals=3; plural=(n%10==1 && n%100!=11 ?
// 0 : ...);", an expression in the C-like language gettext defines (n, whole
// numbers, ! * / % + - < > <= >= == != && || ?: and parentheses).

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sealdoor::text {

class PluralRule {
 public:
  // English's and most Western languages': one form for 1, another for the rest.
  PluralRule();

  // The rule of a catalogue's "Plural-Forms" value; nullopt for one that is
  // malformed, deeper or longer than any language needs, or whose number of
  // forms is not 1 to 6.
  [[nodiscard]] static std::optional<PluralRule> Parse(std::string_view pluralForms);

  // The form for `n`: below Count() always (a rule that says otherwise, or
  // divides by zero, gives the first form).
  [[nodiscard]] unsigned Index(std::uint64_t n) const noexcept;
  [[nodiscard]] unsigned Count() const noexcept { return count_; }

 private:
  enum class Op : std::uint8_t {
    Number, N, Not, Multiply, Divide, Remainder, Add, Subtract, Less, Greater, LessEqual, GreaterEqual, Equal,
    NotEqual, And, Or, Choose
  };
  struct Node {
    Op op = Op::Number;
    std::uint64_t value = 0;
    int a = -1, b = -1, c = -1;  // operands, by index
  };
  class Parser;

  [[nodiscard]] std::uint64_t Evaluate(int node, std::uint64_t n) const noexcept;

  std::vector<Node> nodes_;
  int root_ = -1;
  unsigned count_ = 2;
};

}  // namespace sealdoor::text
