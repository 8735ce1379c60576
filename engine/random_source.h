#pragma once
// Uniform numbers in [0, 1) for filler letters and working-file names.

#include <cstdint>
#include <span>

namespace sealdoor {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A number drawn uniformly from [0, 1).
  virtual double Next() = 0;
  // `out.size()` numbers at once, the same as that many calls of Next in a
  // row: a head's nine hundred draws in one call rather than one each.
  virtual void Fill(std::span<double> out) {
    for (double& r : out) r = Next();
  }
};

// Drawn from one generator per thread, seeded once from the operating
// system's entropy, never from the clock, so two quick calls do not repeat
// each other. Seeding is slow where the entropy comes from the processor
// through a virtual machine; a batch of many files seeds only once.
class SystemRandom final : public RandomSource {
 public:
  double Next() override;
  void Fill(std::span<double> out) override;
};

}  // namespace sealdoor
