#include "pn532/Pn532Emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace emulator {
namespace {

constexpr std::uint8_t kHostToChip = 0xD4;
constexpr std::uint8_t kChipToHost = 0xD5;
const felica::Bytes kAck{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
const felica::Bytes kErrorFrame{0x00, 0x00, 0xFF, 0x01, 0xFF, 0x7F, 0x81, 0x00};
constexpr auto kRfTimeout = std::chrono::milliseconds(50);  // the chip's own wait for a card

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(0x100 - std::accumulate(bytes.begin(), bytes.end(), 0u) % 256);
}

void MakeRaw(int fd) {
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  tcsetattr(fd, TCSANOW, &settings);
}

}  // namespace

Pn532Emulator::Pn532Emulator(std::optional<sim::CardImage> card, bool silent) : silent_(silent) {
  if (card) field_.emplace(std::move(*card));
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
  slavePath_ = ptsname(master_);
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  MakeRaw(slave_);
  if (pipe(stop_) != 0) std::abort();
  thread_ = std::thread([this] { Run(); });
}

Pn532Emulator::~Pn532Emulator() {
  const char stop = 1;
  [[maybe_unused]] auto written = write(stop_[1], &stop, 1);
  thread_.join();
  for (int fd : {master_, slave_, stop_[0], stop_[1]}) close(fd);
}

std::vector<std::uint8_t> Pn532Emulator::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

void Pn532Emulator::Run() {
  pollfd fds[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    std::uint8_t buffer[512];
    const ssize_t size = read(master_, buffer, sizeof buffer);
    if (size <= 0) continue;
    if (silent_) continue;
    input_.insert(input_.end(), buffer, buffer + size);
    Consume();
  }
}

// Takes every whole frame off the input; wake-up bytes and noise before a
// preamble are dropped, as the chip does.
void Pn532Emulator::Consume() {
  for (;;) {
    const std::uint8_t preamble[] = {0x00, 0x00, 0xFF};
    const auto start = std::search(input_.begin(), input_.end(), std::begin(preamble), std::end(preamble));
    input_.erase(input_.begin(), start);
    if (input_.size() < 6) return;
    if (input_[3] == 0x00 && input_[4] == 0xFF) {  // the host's ACK: abort whatever runs
      input_.erase(input_.begin(), input_.begin() + 6);
      continue;
    }
    std::size_t length, header;
    if (input_[3] == 0xFF && input_[4] == 0xFF) {  // extended frame
      if (input_.size() < 8) return;
      if (Checksum(std::span(input_).subspan(5, 2)) != input_[7]) {
        input_.erase(input_.begin(), input_.begin() + 3);
        Send(kErrorFrame);
        continue;
      }
      length = static_cast<std::size_t>(input_[5] << 8 | input_[6]);
      header = 8;
    } else {
      if (static_cast<std::uint8_t>(input_[3] + input_[4]) != 0) {
        input_.erase(input_.begin(), input_.begin() + 3);
        Send(kErrorFrame);
        continue;
      }
      length = input_[3];
      header = 5;
    }
    if (input_.size() < header + length + 2) return;
    const felica::Bytes data(input_.begin() + static_cast<std::ptrdiff_t>(header),
                             input_.begin() + static_cast<std::ptrdiff_t>(header + length));
    const bool intact = Checksum(data) == input_[header + length] && input_[header + length + 1] == 0x00;
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(header + length + 2));
    if (!intact || data.size() < 2 || data[0] != kHostToChip) {
      Send(kErrorFrame);
      continue;
    }
    Send(kAck);
    Answer(data[1], felica::Bytes(data.begin() + 2, data.end()));
  }
}

void Pn532Emulator::Send(const felica::Bytes& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void Pn532Emulator::Respond(std::uint8_t command, const felica::Bytes& result) {
  felica::Bytes data{kChipToHost, static_cast<std::uint8_t>(command + 1)};
  data.insert(data.end(), result.begin(), result.end());
  felica::Bytes frame;
  frame.reserve(data.size() + 10);
  frame = {0x00, 0x00, 0xFF};
  if (data.size() > 254) {
    const std::uint8_t length[] = {static_cast<std::uint8_t>(data.size() >> 8),
                                   static_cast<std::uint8_t>(data.size() & 0xFF)};
    frame.push_back(0xFF);
    frame.push_back(0xFF);
    frame.push_back(length[0]);
    frame.push_back(length[1]);
    frame.push_back(Checksum(length));
  } else {
    frame.push_back(static_cast<std::uint8_t>(data.size()));
    frame.push_back(static_cast<std::uint8_t>(0x100 - data.size()));
  }
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(Checksum(data));
  frame.push_back(0x00);
  Send(frame);
}

felica::Bytes Pn532Emulator::Card(std::span<const std::uint8_t> frame) {
  if (!field_) {
    std::this_thread::sleep_for(kRfTimeout);
    return {};
  }
  auto answer = field_->Exchange(frame, kRfTimeout);
  return answer.status == reader::TransportStatus::Ok ? answer.frame : felica::Bytes{};
}

void Pn532Emulator::Answer(std::uint8_t command, const felica::Bytes& parameters) {
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
  }
  switch (command) {
    case 0x00:  // Diagnose: the communication test echoes its parameters
      return Respond(command, parameters);
    case 0x02:  // GetFirmwareVersion: PN532 v1.6, ISO14443A/B and FeliCa
      return Respond(command, {0x32, 0x01, 0x06, 0x07});
    case 0x04:  // GetGeneralStatus: no error, field off, no target
      return Respond(command, {0x00, 0x00, 0x00, 0x00});
    case 0x06: {  // ReadRegister: one value per 16-bit address
      felica::Bytes values(parameters.size() / 2, 0x00);
      return Respond(command, values);
    }
    case 0x08:  // WriteRegister
    case 0x12:  // SetParameters
    case 0x14:  // SAMConfiguration
    case 0x32:  // RFConfiguration
      return Respond(command, {});
    case 0x16:  // PowerDown
      return Respond(command, {0x00});
    case 0x4A: {  // InListPassiveTarget: MaxTg, BrTy, the polling payload without its length byte
      if (parameters.size() < 7 || parameters[1] != 0x01) return Respond(command, {0x00});
      felica::Bytes polling{static_cast<std::uint8_t>(parameters.size() - 1)};
      polling.insert(polling.end(), parameters.begin() + 2, parameters.end());
      const auto answer = Card(polling);
      if (answer.empty()) return Respond(command, {0x00});
      felica::Bytes result{0x01, 0x01};
      result.insert(result.end(), answer.begin(), answer.end());  // POL_RES with its length byte
      return Respond(command, result);
    }
    case 0x40:    // InDataExchange: Tg, then the frame with its length byte
    case 0x42: {  // InCommunicateThru: the frame with its length byte
      const std::size_t skip = command == 0x40 ? 1 : 0;
      if (parameters.size() <= skip) return Respond(command, {0x27});  // wrong context
      const auto answer = Card(std::span(parameters).subspan(skip));
      if (answer.empty()) return Respond(command, {0x01});  // the target did not answer in time
      felica::Bytes result{0x00};
      result.insert(result.end(), answer.begin(), answer.end());
      return Respond(command, result);
    }
    case 0x44:  // InDeselect
    case 0x52:  // InRelease
      return Respond(command, {0x00});
    default:
      std::fprintf(stderr, "pn532 emulator: command %02X not emulated\n", command);
      Send(kErrorFrame);
  }
}

}  // namespace emulator
