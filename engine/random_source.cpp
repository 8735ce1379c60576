#include "random_source.h"

#include <array>
#include <cstdint>
#include <random>

namespace sealdoor {
namespace {

std::mt19937_64 SeededEngine() {
  std::random_device rd;
  std::array<std::uint32_t, 8> seed{};
  for (auto& s : seed) s = rd();
  std::seed_seq seq(seed.begin(), seed.end());
  return std::mt19937_64(seq);
}

std::mt19937_64& Engine() {
  thread_local std::mt19937_64 engine = SeededEngine();
  return engine;
}

// The top 53 bits of a 64-bit draw as the fraction of a double: every
// number in [0, 1) that is a multiple of 2^-53 equally likely, and never 1.
double Unit(std::uint64_t bits) noexcept { return static_cast<double>(bits >> 11) * 0x1.0p-53; }

}  // namespace

double SystemRandom::Next() { return Unit(Engine()()); }

void SystemRandom::Fill(std::span<double> out) {
  std::mt19937_64& engine = Engine();
  for (double& r : out) r = Unit(engine());
}

}  // namespace sealdoor
