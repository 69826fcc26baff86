// One press of READ against the scripted stand-in library: the cost of the
// read operation and card access themselves, without a reader.
#include <benchmark/benchmark.h>

#include "Form1.h"
#include "standin/ScriptedLibrary.h"

namespace {

void BM_PressAgainstStandIn(benchmark::State& state) {
  standin::Script script;
  for (const auto& [service, blocks] : {std::pair{0x020B, 3}, {0x0417, 2}, {0x060F, 20}}) {
    for (int k = 0; k < blocks; ++k) {
      standin::Block block{};
      block.fill(static_cast<std::uint8_t>(0x11 * k));
      script.services[static_cast<std::uint16_t>(service)].push_back(block);
    }
  }
  standin::Reset(script);
  Form1 form;
  for (auto _ : state) {
    standin::Reset(script);  // keeps the call log from growing
    form.Command_Click();
  }
}
BENCHMARK(BM_PressAgainstStandIn)->Unit(benchmark::kMicrosecond);

}  // namespace
