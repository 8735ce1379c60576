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

}  // namespace

double SystemRandom::Next() {
  thread_local std::mt19937_64 engine = SeededEngine();
  const double r = std::uniform_real_distribution<double>(0.0, 1.0)(engine);
  // uniform_real_distribution may round up to 1.0 on some libraries.
  return r < 1.0 ? r : 0.0;
}

}  // namespace sealdoor
