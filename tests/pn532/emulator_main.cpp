// Runs the PN532 emulator with a card image until killed, printing the
// connstring: for trying libnfc's own tools (nfc-list) against it.
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "pn532/Pn532Emulator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pn532_emulator CARD.json\n");
    return 2;
  }
  auto loaded = sim::LoadCardImage(argv[1]);
  if (!loaded.image) {
    std::fprintf(stderr, "%s: %s\n", argv[1], loaded.error.c_str());
    return 1;
  }
  emulator::Pn532Emulator pn532(std::move(*loaded.image));
  std::printf("%s\n", pn532.Connstring().c_str());
  std::fflush(stdout);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  int received = 0;
  sigwait(&signals, &received);
  return 0;
}
