// The tick's byte work: framing a request and validating or unstuffing a reply.
#include <benchmark/benchmark.h>

#include "catalogue/config_file.h"
#include "catalogue/param_tables.h"
#include "link/escaped.h"
#include "link/kwp.h"
#include "session/session_step.h"

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

// One KWP2000 tick's engine work on a positive data reply behind its echo.
void BM_SessionStepKwp(benchmark::State& state) {
  kd::view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  kd::session::SessionState session;
  const std::uint8_t read[] = {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5,
                               0x84, 0xF1, 0x10, 0x61, 0x01, 0x02, 0x03, 0xEC};
  for (auto _ : state) {
    kd::link::ExchangeBuffer buffer;
    std::copy(std::begin(read), std::end(read), buffer.receiveArea);
    buffer.dataLength = 11;
    kd::session::SessionStep(buffer, {1, kd::session::Page::Params, session, status, nullptr});
    benchmark::DoNotOptimize(buffer.transmitFrame);
  }
}
BENCHMARK(BM_SessionStepKwp);

// Loading the largest list, as every type switch does.
void BM_DecodeConfiguration(benchmark::State& state) {
  const auto params = kd::catalogue::BuiltInParams(7);
  const auto bytes = kd::catalogue::EncodeConfiguration(7, 2, params);
  for (auto _ : state) {
    auto c = kd::catalogue::DecodeConfiguration(bytes);
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_DecodeConfiguration);

}  // namespace

BENCHMARK_MAIN();
