// The block scramble kernel in bytes per second.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/scramble.h"

namespace {

void BM_ScrambleBlocks(benchmark::State& state) {
  const auto blocks = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> in(blocks * 54 + sealdoor::format::kScrambleSlack), out(in.size());
  std::mt19937 gen(1);
  for (auto& b : in) b = static_cast<std::uint8_t>(gen());
  for (auto _ : state) {
    sealdoor::format::ScrambleBlocks(in.data(), out.data(), blocks);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(blocks * 54));
}
// 3.4 MiB: the engine's chunk; 64 KiB: fits in cache.
BENCHMARK(BM_ScrambleBlocks)->Arg(1 << 16)->Arg(1214);

void BM_ScrambleInPlaceWordWise(benchmark::State& state) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)) * 54);
  std::mt19937 gen(2);
  for (auto& b : data) b = static_cast<std::uint8_t>(gen());
  for (auto _ : state) {
    sealdoor::format::ScrambleInPlace(data);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_ScrambleInPlaceWordWise)->Arg(1 << 16);

}  // namespace

BENCHMARK_MAIN();
