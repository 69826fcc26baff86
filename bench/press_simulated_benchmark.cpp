// One press of READ through our reader library against a simulated card
// that accepts 12 blocks a command: the time of a press, and the card
// commands a reader cycle sends (the floor is 1 polling and 4 reads: 3, 2,
// 12 + 8 blocks).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "Form1.h"
#include "Library.h"

namespace {

constexpr const char* kDemoCard = "sim:" QAVO_SAMPLES_DIR "/demo-card.json";

void BM_PressSimulatedTwelveBlockCard(benchmark::State& state) {
  setenv("FELICA_READER", kDemoCard, 1);
  Form1 form;
  for (auto _ : state) form.Command_Click();
}
BENCHMARK(BM_PressSimulatedTwelveBlockCard)->Unit(benchmark::kMicrosecond);

void BM_ReaderCycleSimulatedTwelveBlockCard(benchmark::State& state) {
  reader::Library library(reader::DefaultDrivers());
  const auto read = [&](std::uint16_t service, int count, const reader::Idm& idm) {
    reader::ReadRequest request{idm, {service}, {}};
    for (int k = 0; k < count; ++k) request.blocks.push_back({{0x80, static_cast<std::uint8_t>(k)}, 2});
    benchmark::DoNotOptimize(library.Read(request));
  };
  for (auto _ : state) {
    (void)library.Initialize();
    (void)library.Open(kDemoCard);
    const auto card = library.Poll({{0x00, 0x0B}, 0, 0});
    read(0x020B, 3, card->idm);
    read(0x0417, 2, card->idm);
    read(0x060F, 20, card->idm);
    (void)library.Close();
    (void)library.Dispose();
  }
  state.counters["card_commands_per_press"] =
      benchmark::Counter(static_cast<double>(library.CommandsSent()) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_ReaderCycleSimulatedTwelveBlockCard)->Unit(benchmark::kMicrosecond);

}  // namespace
