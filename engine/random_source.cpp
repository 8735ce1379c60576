#include "random_source.h"

#include <array>

namespace sealdoor {

SystemRandom::SystemRandom() {
  std::random_device rd;
  std::array<std::uint32_t, 8> seed{};
  for (auto& s : seed) s = rd();
  std::seed_seq seq(seed.begin(), seed.end());
  engine_.seed(seq);
}

double SystemRandom::Next() {
  double r = dist_(engine_);
  // uniform_real_distribution may round up to 1.0 on some libraries.
  return r < 1.0 ? r : 0.0;
}

}  // namespace sealdoor
