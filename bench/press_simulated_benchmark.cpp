// One press of READ through our reader library against a simulated card
// that accepts 12 blocks a command: time per press and card commands per
// press (the floor is 1 polling and 4 reads: 3, 2, 12 + 8 blocks).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "Form1.h"
#include "Library.h"

namespace {

void BM_PressSimulatedTwelveBlockCard(benchmark::State& state) {
  setenv("FELICA_READER", "sim:" QAVO_SAMPLES_DIR "/demo-card.json", 1);
  Form1 form;
  const long before = reader::Library::Instance().TotalCommandsSent();
  for (auto _ : state) form.Command_Click();
  const long commands = reader::Library::Instance().TotalCommandsSent() - before;
  state.counters["card_commands_per_press"] =
      benchmark::Counter(static_cast<double>(commands) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PressSimulatedTwelveBlockCard)->Unit(benchmark::kMicrosecond);

}  // namespace
