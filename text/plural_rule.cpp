#include "plural_rule.h"

#include <cctype>
#include <limits>

namespace sealdoor::text {
namespace {

// Far beyond any language's rule (Arabic's, the longest, has some forty
// nodes), and small enough that a hostile catalogue costs nothing.
constexpr std::size_t kMaxNodes = 256;
constexpr int kMaxDepth = 48;
constexpr unsigned kMaxForms = 6;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

// Recursive descent over C's precedence, from ?: down to a number, `n` or a
// parenthesised expression. Every failure is a nullopt up the chain.
class PluralRule::Parser {
 public:
  Parser(std::string_view text, std::vector<Node>& nodes) : text_(text), nodes_(nodes) {}

  std::optional<int> Whole() {
    auto e = Choose();
    Space();
    if (!e || pos_ != text_.size()) return std::nullopt;
    return e;
  }

 private:
  void Space() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Take(std::string_view token) {
    Space();
    if (text_.substr(pos_, token.size()) != token) return false;
    pos_ += token.size();
    return true;
  }
  // "<" but not "<=", "!" but not "!=", "|" alone is no operator at all.
  bool TakeAlone(char c) {
    Space();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '=') return false;
    ++pos_;
    return true;
  }
  std::optional<int> Add(Op op, int a, int b = -1, int c = -1) {
    if (nodes_.size() >= kMaxNodes) return std::nullopt;
    nodes_.push_back({op, 0, a, b, c});
    return static_cast<int>(nodes_.size() - 1);
  }

  struct Deeper {
    explicit Deeper(int& depth) : depth_(depth) { ++depth_; }
    ~Deeper() { --depth_; }
    Deeper(const Deeper&) = delete;
    Deeper& operator=(const Deeper&) = delete;
    int& depth_;
  };

  std::optional<int> Choose() {
    const Deeper deeper(depth_);
    if (depth_ > kMaxDepth) return std::nullopt;
    auto test = Or();
    if (!test || !Take("?")) return test;
    auto yes = Choose();
    if (!yes || !Take(":")) return std::nullopt;
    auto no = Choose();
    if (!no) return std::nullopt;
    return Add(Op::Choose, *test, *yes, *no);
  }

  // One level of left-associative binary operators.
  template <typename Next>
  std::optional<int> Binary(Next next, std::initializer_list<std::pair<std::string_view, Op>> ops) {
    auto left = (this->*next)();
    while (left) {
      bool matched = false;
      for (const auto& [token, op] : ops) {
        const bool took = token.size() == 1 ? TakeAlone(token[0]) : Take(token);
        if (!took) continue;
        auto right = (this->*next)();
        if (!right) return std::nullopt;
        left = Add(op, *left, *right);
        matched = true;
        break;
      }
      if (!matched) break;
    }
    return left;
  }

  std::optional<int> Or() { return Binary(&Parser::And, {{"||", Op::Or}}); }
  std::optional<int> And() { return Binary(&Parser::Equality, {{"&&", Op::And}}); }
  std::optional<int> Equality() { return Binary(&Parser::Relation, {{"==", Op::Equal}, {"!=", Op::NotEqual}}); }
  std::optional<int> Relation() {
    return Binary(&Parser::Sum, {{"<=", Op::LessEqual}, {">=", Op::GreaterEqual}, {"<", Op::Less}, {">", Op::Greater}});
  }
  std::optional<int> Sum() { return Binary(&Parser::Product, {{"+", Op::Add}, {"-", Op::Subtract}}); }
  std::optional<int> Product() {
    return Binary(&Parser::Unary, {{"*", Op::Multiply}, {"/", Op::Divide}, {"%", Op::Remainder}});
  }

  std::optional<int> Unary() {
    const Deeper deeper(depth_);
    if (depth_ > kMaxDepth) return std::nullopt;
    if (TakeAlone('!')) {
      auto operand = Unary();
      if (!operand) return std::nullopt;
      return Add(Op::Not, *operand);
    }
    return Primary();
  }

  std::optional<int> Primary() {
    Space();
    if (pos_ >= text_.size()) return std::nullopt;
    const char c = text_[pos_];
    if (c == '(') {
      ++pos_;
      auto inner = Choose();
      if (!inner || !Take(")")) return std::nullopt;
      return inner;
    }
    if (c == 'n') {
      ++pos_;
      return Add(Op::N, -1);
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      std::uint64_t value = 0;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
        const auto digit = static_cast<std::uint64_t>(text_[pos_] - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        ++pos_;
      }
      auto node = Add(Op::Number, -1);
      if (node) nodes_[static_cast<std::size_t>(*node)].value = value;
      return node;
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  std::vector<Node>& nodes_;
};

PluralRule::PluralRule() {
  nodes_ = {{Op::N, 0, -1, -1, -1}, {Op::Number, 1, -1, -1, -1}, {Op::NotEqual, 0, 0, 1, -1}};
  root_ = 2;
  count_ = 2;
}

std::optional<PluralRule> PluralRule::Parse(std::string_view pluralForms) {
  std::optional<unsigned> count;
  std::optional<std::string_view> expression;
  while (!pluralForms.empty()) {
    const auto end = pluralForms.find(';');
    const std::string_view part = Trim(pluralForms.substr(0, end));
    pluralForms = end == std::string_view::npos ? std::string_view() : pluralForms.substr(end + 1);
    if (part.empty()) continue;
    const auto equals = part.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(part.substr(0, equals));
    const std::string_view value = Trim(part.substr(equals + 1));
    if (key == "nplurals") {
      if (value.empty() || value.size() > 2) return std::nullopt;
      unsigned v = 0;
      for (const char c : value) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
      }
      count = v;
    } else if (key == "plural") {
      expression = value;
    } else {
      return std::nullopt;
    }
  }
  if (!count || !expression || *count < 1 || *count > kMaxForms) return std::nullopt;
  PluralRule rule;
  rule.nodes_.clear();
  Parser parser(*expression, rule.nodes_);
  const auto root = parser.Whole();
  if (!root) return std::nullopt;
  rule.root_ = *root;
  rule.count_ = *count;
  return rule;
}

unsigned PluralRule::Index(std::uint64_t n) const noexcept {
  const std::uint64_t index = Evaluate(root_, n);
  return index < count_ ? static_cast<unsigned>(index) : 0;
}

std::uint64_t PluralRule::Evaluate(int node, std::uint64_t n) const noexcept {
  // Operands come before their operator in nodes_, so the recursion is as
  // deep as the parser allowed, and no deeper.
  const Node& x = nodes_[static_cast<std::size_t>(node)];
  const auto a = [&] { return Evaluate(x.a, n); };
  const auto b = [&] { return Evaluate(x.b, n); };
  switch (x.op) {
    case Op::Number: return x.value;
    case Op::N: return n;
    case Op::Not: return a() == 0;
    case Op::Multiply: return a() * b();
    case Op::Divide: {
      const std::uint64_t d = b();
      return d == 0 ? 0 : a() / d;
    }
    case Op::Remainder: {
      const std::uint64_t d = b();
      return d == 0 ? 0 : a() % d;
    }
    case Op::Add: return a() + b();
    case Op::Subtract: return a() - b();
    case Op::Less: return a() < b();
    case Op::Greater: return a() > b();
    case Op::LessEqual: return a() <= b();
    case Op::GreaterEqual: return a() >= b();
    case Op::Equal: return a() == b();
    case Op::NotEqual: return a() != b();
    case Op::And: return a() != 0 && b() != 0;
    case Op::Or: return a() != 0 || b() != 0;
    case Op::Choose: return a() != 0 ? b() : Evaluate(x.c, n);
  }
  return 0;
}

}  // namespace sealdoor::text
