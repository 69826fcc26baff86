#pragma once
// A PN532 on a pseudo-terminal, as libnfc's pn532_uart driver sees one: it
// answers every host frame with an ACK and then the chip's answer, when the
// chip has it ready. libnfc reaches it as pn532_uart:<SlavePath()>.

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "emulators/Pn53xChip.h"

namespace emulator {

class Pn532Uart {
 public:
  explicit Pn532Uart(std::shared_ptr<FelicaCard> card, bool silent = false);
  ~Pn532Uart();
  Pn532Uart(const Pn532Uart&) = delete;
  Pn532Uart& operator=(const Pn532Uart&) = delete;

  std::string Connstring() const { return "pn532_uart:" + slavePath_; }

 private:
  void Run();
  void Send(const Bytes& bytes);

  Pn53xChip chip_{Pn53xModel::Pn532};
  bool silent_;  // the chip never answers
  int master_ = -1;
  int slave_ = -1;  // kept open so the master never sees a hang-up
  int stop_[2] = {-1, -1};
  std::string slavePath_;
  std::thread thread_;
};

}  // namespace emulator
