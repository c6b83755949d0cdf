// The tick's byte work: framing a request and validating or unstuffing a reply.
#include <benchmark/benchmark.h>

#include "link/escaped.h"
#include "link/kwp.h"

namespace {

void BM_FrameKwpRequest(benchmark::State& state) {
  kd::link::ExchangeBuffer buffer;
  for (auto _ : state) {
    buffer.transmitFrame[3] = 0x21;
    buffer.transmitFrame[4] = 0x01;
    buffer.dataLength = 2;
    kd::link::FrameKwpRequest(buffer);
    benchmark::DoNotOptimize(buffer.transmitFrame);
  }
}
BENCHMARK(BM_FrameKwpRequest);

void BM_DecodeEscapedReply(benchmark::State& state) {
  kd::link::ExchangeBuffer buffer;
  kd::view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  kd::link::ReplyCopy source{};
  for (std::size_t i = 0; i < 120; ++i) source[i] = static_cast<std::uint8_t>(i % 2 ? 0x40 : 0x41);
  source[120] = 0x0D;
  for (auto _ : state) {
    kd::link::ReplyCopy reply = source;
    kd::link::DecodeEscapedReply(reply, buffer, status);
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_DecodeEscapedReply);

}  // namespace

BENCHMARK_MAIN();
