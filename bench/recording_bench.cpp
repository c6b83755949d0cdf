// A full recording written as a data table and summarised: both happen on a button click, so
// together they must not make a visible pause (well under 10 ms).
#include <benchmark/benchmark.h>

#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_tables.h"
#include "livedata/recording.h"

namespace {

using namespace kd;

// Every parameter of the type's table shown, and the buffer filled until the recording stops.
struct FullRecording {
  std::vector<catalogue::ParamRecord> params;
  livedata::RecordBuffer record;
  int frames = 0;

  explicit FullRecording(std::uint32_t type) {
    const auto table = catalogue::BuiltInParams(type);
    params.assign(table.begin(), table.end());
    for (auto& r : params) r.shown = 1;
    const std::int32_t frameSize = catalogue::Lookup(type).frameSize;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(frameSize));
    record.Start();
    std::uint32_t seed = 12345;
    while (true) {
      frame[0] = 0x80;
      for (std::size_t i = 1; i < frame.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        frame[i] = static_cast<std::uint8_t>(seed >> 16);
      }
      if (record.AppendFrame(frame, frameSize) != livedata::RecordBuffer::Appended::Stored) break;
      ++frames;
    }
  }
};

void WriteAndSummarise(benchmark::State& state, std::uint32_t type) {
  FullRecording full(type);
  for (auto _ : state) {
    std::string data = livedata::DataFileBody(type, full.params, full.record);
    std::string stats = livedata::StatisticsFile(type, full.params, full.record);
    benchmark::DoNotOptimize(data);
    benchmark::DoNotOptimize(stats);
  }
  state.counters["frames"] = full.frames;
}

void BM_FullRecordingM154(benchmark::State& state) {
  WriteAndSummarise(state, 1);
}
void BM_FullRecordingM10(benchmark::State& state) {
  WriteAndSummarise(state, 8);
}

BENCHMARK(BM_FullRecordingM154)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRecordingM10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
