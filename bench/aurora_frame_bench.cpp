// How long the demo screen saver takes to draw one frame of its sky, at the
// sizes it draws: the preview box and the largest frame it draws before
// stretching to the screen (640 pixels wide). A frame is due every 40 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "demo/screensaver/aurora_art.h"

namespace {

void BM_AuroraFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  double seconds = 0;
  for (auto _ : state) {
    screensaver::DrawAuroraFrame(pixels.data(), width, height, seconds, {0x081630, 0x3CE6A8, 0x9A4CFF});
    benchmark::DoNotOptimize(pixels.data());
    seconds += 0.04;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["pixels"] = static_cast<double>(width) * height;
}

BENCHMARK(BM_AuroraFrame)->Args({152, 112})->Args({640, 360})->Args({640, 480})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
