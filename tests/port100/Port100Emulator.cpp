#include "port100/Port100Emulator.h"

#include <thread>

#include "Port100Frame.h"

namespace emulator {
namespace {

using port100::UsbStatus;
constexpr std::uint8_t kErrorFrame[] = {0x00, 0x00, 0xFF, 0xFF, 0xFF};

}  // namespace

Port100Emulator::Port100Emulator(std::optional<sim::CardImage> card, Faults faults) : faults_(faults) {
  if (card) field_.emplace(std::move(*card));
  for (int i = 0; i < faults_.staleFrames; ++i) {
    toHost_.push_back(port100::EncodeFrame(felica::Bytes{port100::kFromDevice, 0x05, 0x80, 0, 0, 0, 0}));
  }
  ++alive_;
}

Port100Emulator::~Port100Emulator() { --alive_; }

bool Port100Emulator::Unplugged() {
  return faults_.unplugAfterTransfers && ++transfers_ > *faults_.unplugAfterTransfers;
}

UsbStatus Port100Emulator::BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds) {
  if (Unplugged()) return UsbStatus::Gone;
  if (faults_.silent) return UsbStatus::Ok;
  const auto frame = port100::DecodeFrame(data);
  switch (frame.kind) {
    case port100::FrameKind::Ack:
      // Resets the chip's side of the exchange; frames already queued for
      // the host stay there, as a killed session's do.
      return UsbStatus::Ok;
    case port100::FrameKind::Data:
      if (frame.data.size() < 2 || frame.data[0] != port100::kToDevice) break;
      toHost_.emplace_back(std::begin(port100::kAck), std::end(port100::kAck));
      Answer(frame.data[1], std::span(frame.data).subspan(2));
      return UsbStatus::Ok;
    case port100::FrameKind::Error:
    case port100::FrameKind::Invalid:
      break;
  }
  toHost_.emplace_back(std::begin(kErrorFrame), std::end(kErrorFrame));
  return UsbStatus::Ok;
}

UsbStatus Port100Emulator::BulkRead(felica::Bytes& data, std::chrono::milliseconds timeout) {
  if (Unplugged()) return UsbStatus::Gone;
  if (toHost_.empty()) {
    std::this_thread::sleep_for(timeout);  // a real read waits out its timeout
    return UsbStatus::Timeout;
  }
  data = std::move(toHost_.front());
  toHost_.pop_front();
  return UsbStatus::Ok;
}

void Port100Emulator::Respond(std::uint8_t command, felica::Bytes result) {
  felica::Bytes data{port100::kFromDevice, static_cast<std::uint8_t>(command + 1)};
  data.insert(data.end(), result.begin(), result.end());
  auto frame = port100::EncodeFrame(data);
  if (faults_.badChecksum) frame[frame.size() - 2] ^= 0x5A;
  if (faults_.shortFrames) frame.resize(frame.size() - 3);
  toHost_.push_back(std::move(frame));
}

void Port100Emulator::Answer(std::uint8_t command, std::span<const std::uint8_t> parameters) {
  namespace cmd = port100::command;
  commands_.push_back({command, felica::Bytes(parameters.begin(), parameters.end())});
  switch (command) {
    case cmd::kSetCommandType:
      commandTypeSet_ = parameters.size() == 1 && parameters[0] == 1;
      return Respond(command, {static_cast<std::uint8_t>(commandTypeSet_ ? 0 : 1)});
    case cmd::kGetFirmwareVersion: return Respond(command, {0x11, 0x01});
    case cmd::kSwitchRF:
      if (parameters.size() == 1 && parameters[0] == 0) rfConfigured_ = false;
      return Respond(command, {0x00});
    case cmd::kInSetRF:
      // FeliCa at 212 kbps both ways is the only setting the emulator plays.
      rfConfigured_ = commandTypeSet_ && felica::Bytes(parameters.begin(), parameters.end()) ==
                                             felica::Bytes{0x01, 0x01, 0x0F, 0x01};
      return Respond(command, {static_cast<std::uint8_t>(rfConfigured_ ? 0 : 1)});
    case cmd::kInSetProtocol:
      return Respond(command, {static_cast<std::uint8_t>(parameters.size() % 2 == 0 ? 0 : 1)});
    case cmd::kInCommRF: {
      if (!rfConfigured_ || parameters.size() < 3 || parameters[2] != parameters.size() - 2) {
        return Respond(command, {0x01, 0x00, 0x00, 0x00, 0x00});  // protocol error
      }
      const std::chrono::milliseconds timeout((parameters[0] | parameters[1] << 8) / 10);
      if (!field_) {
        std::this_thread::sleep_for(timeout);
        return Respond(command, {0x80, 0x00, 0x00, 0x00, 0x00});
      }
      auto answer = field_->Exchange(parameters.subspan(2), timeout);
      if (answer.status != reader::TransportStatus::Ok) return Respond(command, {0x80, 0x00, 0x00, 0x00, 0x00});
      felica::Bytes result{0x00, 0x00, 0x00, 0x00, 0x00};
      result.insert(result.end(), answer.frame.begin(), answer.frame.end());
      return Respond(command, std::move(result));
    }
    default:
      toHost_.emplace_back(std::begin(kErrorFrame), std::end(kErrorFrame));
  }
}

}  // namespace emulator
