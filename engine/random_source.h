#pragma once
// Uniform numbers in [0, 1) for filler letters and working-file names.

#include <cstdint>
#include <functional>
#include <random>

namespace sealdoor {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A number drawn uniformly from [0, 1).
  virtual double Next() = 0;
};

// Seeded once from the operating system's entropy, never from the clock, so
// two quick calls do not repeat each other.
class SystemRandom final : public RandomSource {
 public:
  SystemRandom();
  double Next() override;

 private:
  std::mt19937_64 engine_;
  std::uniform_real_distribution<double> dist_{0.0, 1.0};
};

}  // namespace sealdoor
