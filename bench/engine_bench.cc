// Cost of recording under the input mode every host-created engine uses, where each new
// event derives from every earlier one: one ingest plus one proposed call, measured at
// several session lengths. Hashing the input digests makes each event linear in the
// session's length; everything else should stay small beside it.
#include <benchmark/benchmark.h>

#include <string_view>

#include "mobrel/engine.h"

namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void BM_RecordInLongSession(benchmark::State& state) {
  mobrel::Engine engine(mobrel::InputMode::AllSession);
  engine.registry().insert("search", {});
  const auto length = static_cast<std::size_t>(state.range(0));
  while (engine.store().size() < length) engine.ingest(bytes("earlier content"), 2, nullptr);
  engine.ingest(bytes("a web page"), 3, nullptr);
  for (auto _ : state) {
    engine.ingest(bytes("user message"), 2, nullptr);
    benchmark::DoNotOptimize(
        engine.propose("search", bytes(R"({"q":"x"})"), std::nullopt, std::nullopt));
  }
  state.counters["session_events"] = static_cast<double>(engine.store().size());
}
BENCHMARK(BM_RecordInLongSession)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_LabelEarlyEventInLongSession(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    mobrel::Engine engine(mobrel::InputMode::AllSession);
    for (std::size_t i = 0; i < length; ++i) engine.ingest(bytes("c"), 2, nullptr);
    state.ResumeTiming();
    engine.set_label(0, "local_sensitive");
    benchmark::DoNotOptimize(engine.is_traced_to(length - 1, "local_sensitive"));
  }
}
BENCHMARK(BM_LabelEarlyEventInLongSession)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
