#include "emulators/Pn532Uart.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "emulators/Pn53xFrames.h"

namespace emulator {

using Clock = std::chrono::steady_clock;

Pn532Uart::Pn532Uart(std::shared_ptr<FelicaCard> card, bool silent) : silent_(silent) {
  chip_.card = std::move(card);
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || pipe(stop_) != 0) std::abort();
  slavePath_ = ptsname(master_);
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  termios settings{};
  tcgetattr(slave_, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave_, TCSANOW, &settings);
  thread_ = std::thread([this] { Run(); });
}

Pn532Uart::~Pn532Uart() {
  [[maybe_unused]] auto written = write(stop_[1], "x", 1);
  thread_.join();
  for (int fd : {master_, slave_, stop_[0], stop_[1]}) close(fd);
}

void Pn532Uart::Send(const Bytes& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void Pn532Uart::Run() {
  Bytes input, last;
  std::optional<std::pair<Clock::time_point, Bytes>> due;  // the answer being worked on
  for (;;) {
    int wait = -1;
    if (due)
      wait = static_cast<int>(
          std::max<long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(due->first - Clock::now()).count()));
    pollfd fds[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (poll(fds, 2, wait) < 0) continue;
    if (fds[1].revents) return;
    if (due && Clock::now() >= due->first) {
      Send(due->second);
      last = due->second;
      due.reset();
    }
    if (!(fds[0].revents & POLLIN)) continue;
    std::uint8_t buffer[512];
    const ssize_t size = read(master_, buffer, sizeof buffer);
    if (size <= 0 || silent_) continue;
    input.insert(input.end(), buffer, buffer + size);
    for (const auto& frame : TakeHostFrames(input)) {
      switch (frame.kind) {
        case HostFrame::Kind::Ack: due.reset(); break;  // aborts what the chip works on
        case HostFrame::Kind::Nack: Send(last); break;
        case HostFrame::Kind::Broken: Send(kPn53xSyntaxError); break;
        case HostFrame::Kind::Command: {
          Send(kPn53xAck);
          const auto reply = chip_.Execute(frame.command);
          if (!reply) break;  // works on until aborted
          due.emplace(Clock::now() + reply->after, reply->syntaxError ? kPn53xSyntaxError : Pn53xFrame(reply->data));
        }
      }
    }
  }
}

}  // namespace emulator
