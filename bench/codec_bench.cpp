// What one firmware block costs to put on the wire and to check when it comes back.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "sysex/codec.h"
#include "sysex/messages.h"

namespace tarn {
namespace {

constexpr int32_t kPackedBlockSize = 4682;

std::array<uint8_t, kBlockSize> RandomBlock() {
  std::mt19937 generator(4096);
  std::array<uint8_t, kBlockSize> block{};
  for (auto& b : block)
    b = static_cast<uint8_t>(generator());
  return block;
}

void PackAndChecksumBlock(benchmark::State& state) {
  const auto raw = RandomBlock();
  std::array<uint8_t, kPackedBlockSize> packed{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(Pack7(packed.data(), raw.data(), kBlockSize));
    benchmark::DoNotOptimize(Crc32Raw(raw.data(), kBlockSize));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBlockSize);
}
BENCHMARK(PackAndChecksumBlock);

void UnpackAndChecksumBlock(benchmark::State& state) {
  const auto raw = RandomBlock();
  std::array<uint8_t, kPackedBlockSize> packed{};
  Pack7(packed.data(), raw.data(), kBlockSize);
  std::array<uint8_t, kBlockSize> unpacked{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(Unpack7(unpacked.data(), packed.data(), kPackedBlockSize));
    benchmark::DoNotOptimize(Crc32Raw(unpacked.data(), kBlockSize));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBlockSize);
}
BENCHMARK(UnpackAndChecksumBlock);

}  // namespace
}  // namespace tarn
