// One press of READ through our reader library and its USB code against the emulated RC-S380 of the tests: a plain
// press, and presses whose chip has one hiccup (a lost answer costs one command timeout and the read-out; an error
// frame next to nothing).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "Form1.h"
#include "emulators/usb/UsbReaders.h"

namespace {

void BM_PressRcs380(benchmark::State& state) {
  setenv("FELICA_READER", "port100", 1);
  Form1 form;
  for (auto _ : state) {
    state.PauseTiming();
    fakeusb::UnplugAll();
    auto reader = std::make_shared<fakeusb::Rcs380>(
        std::make_shared<emulator::FelicaCard>(emulator::SampleCard("demo-card.json")));
    reader->hiccupAt = static_cast<std::size_t>(state.range(0));
    reader->unanswered = static_cast<int>(state.range(1)), reader->errorFrames = static_cast<int>(state.range(2));
    fakeusb::Plug(reader);
    state.ResumeTiming();
    form.Command_Click();
  }
}
BENCHMARK(BM_PressRcs380)
    ->ArgNames({"from_command", "unanswered", "error_frames"})
    ->Args({0, 0, 0})
    ->Args({2, 1, 0})
    ->Args({1, 0, 1})
    ->Args({8, 0, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
