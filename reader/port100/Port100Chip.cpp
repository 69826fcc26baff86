#include "Port100Chip.h"

#include <algorithm>

namespace port100 {
namespace {

using namespace std::chrono_literals;

constexpr auto kCommandTimeout = 100ms;  // a chip command, not counting the card's time
constexpr auto kDrainTimeout = 10ms;
constexpr int kMaxDrainedFrames = 64;

// InSetProtocol for FeliCa: the chip's defaults, then an initial guard time of 24.
constexpr std::uint8_t kProtocolDefaults[] = {0x00, 0x18, 0x01, 0x01, 0x02, 0x01, 0x03, 0x00, 0x04, 0x00,
                                              0x05, 0x00, 0x06, 0x00, 0x07, 0x08, 0x08, 0x00, 0x09, 0x00,
                                              0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0E, 0x04, 0x0F, 0x00,
                                              0x10, 0x00, 0x11, 0x00, 0x12, 0x00, 0x13, 0x06};
constexpr std::uint8_t kInitialGuardTime[] = {0x00, 0x18};
constexpr std::uint8_t kFelica212[] = {0x01, 0x01, 0x0F, 0x01};  // send and receive at 212 kbps
constexpr std::uint8_t kRfOff[] = {0x00};
constexpr std::uint8_t kCommandType1[] = {0x01};
constexpr std::uint32_t kReceiveTimeoutBit = 0x00000080;

ChipStatus StatusFor(UsbStatus status) {
  switch (status) {
    case UsbStatus::Ok: return ChipStatus::Ok;
    case UsbStatus::Timeout: return ChipStatus::NoAnswer;
    case UsbStatus::Gone: return ChipStatus::Gone;
    case UsbStatus::Error: return ChipStatus::BadFrame;
  }
  return ChipStatus::BadFrame;
}

ChipResult Failed(ChipStatus status, std::string detail) { return {status, {}, std::move(detail)}; }

}  // namespace

Port100Chip::Port100Chip(std::unique_ptr<UsbLink> link) : link_(std::move(link)) {}

Port100Chip::~Port100Chip() {
  Command(command::kSwitchRF, kRfOff, kCommandTimeout);
  link_->BulkWrite(kAck, kCommandTimeout);
}

ChipResult Port100Chip::Initialize() {
  if (auto status = link_->BulkWrite(kAck, kCommandTimeout); status != UsbStatus::Ok) {
    return Failed(StatusFor(status), "cannot write to the reader");
  }
  felica::Bytes stale;
  for (int i = 0; i < kMaxDrainedFrames && link_->BulkRead(stale, kDrainTimeout) == UsbStatus::Ok; ++i) {
  }
  const std::pair<std::uint8_t, std::span<const std::uint8_t>> steps[] = {
      {command::kSetCommandType, kCommandType1}, {command::kGetFirmwareVersion, {}},
      {command::kSwitchRF, kRfOff},             {command::kInSetRF, kFelica212},
      {command::kInSetProtocol, kProtocolDefaults}, {command::kInSetProtocol, kInitialGuardTime}};
  for (const auto& [code, parameters] : steps) {
    auto result = Command(code, parameters, kCommandTimeout);
    if (result.status != ChipStatus::Ok) {
      if (result.status == ChipStatus::NoAnswer) result.detail = "reader firmware does not answer";
      return result;
    }
    // SetCommandType, SwitchRF, InSetRF and InSetProtocol answer one status byte, 0 for success.
    if (code != command::kGetFirmwareVersion && (result.data.empty() || result.data[0] != 0)) {
      return Failed(ChipStatus::BadFrame, "reader refused its set-up");
    }
  }
  return {};
}

ChipResult Port100Chip::Command(std::uint8_t code, std::span<const std::uint8_t> parameters,
                                std::chrono::milliseconds timeout) {
  const auto frame = EncodeCommand(code, parameters);
  if (auto status = link_->BulkWrite(frame, kCommandTimeout); status != UsbStatus::Ok) {
    return Failed(StatusFor(status), "cannot write to the reader");
  }
  felica::Bytes received;
  if (auto status = link_->BulkRead(received, kCommandTimeout); status != UsbStatus::Ok) {
    return Failed(StatusFor(status), "no ACK from the reader");
  }
  if (DecodeFrame(received).kind != FrameKind::Ack) return Failed(ChipStatus::BadFrame, "reader sent no ACK");
  if (auto status = link_->BulkRead(received, timeout + kCommandTimeout); status != UsbStatus::Ok) {
    link_->BulkWrite(kAck, kCommandTimeout);  // abandon the command
    return Failed(StatusFor(status), "no response from the reader");
  }
  auto response = DecodeFrame(received);
  if (response.kind != FrameKind::Data) {
    return Failed(ChipStatus::BadFrame, response.kind == FrameKind::Error ? "reader reported a frame error"
                                                                          : std::string(response.fault));
  }
  if (response.data.size() < 2 || response.data[0] != kFromDevice || response.data[1] != code + 1) {
    return Failed(ChipStatus::BadFrame, "response to another command");
  }
  response.data.erase(response.data.begin(), response.data.begin() + 2);
  return {ChipStatus::Ok, std::move(response.data), {}};
}

ChipResult Port100Chip::CommunicateRF(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout) {
  // The card's timeout in units of 0.1 ms, then the frame.
  const auto units = static_cast<std::uint16_t>(std::min<long>(timeout.count() * 10, 0xFFFF));
  felica::Bytes parameters{static_cast<std::uint8_t>(units & 0xFF), static_cast<std::uint8_t>(units >> 8)};
  parameters.insert(parameters.end(), frame.begin(), frame.end());
  auto result = Command(command::kInCommRF, parameters, timeout);
  if (result.status != ChipStatus::Ok) return result;
  // Four bytes of error bits (little-endian), one byte more, then the card's frame.
  if (result.data.size() < 5) return Failed(ChipStatus::BadFrame, "InCommRF response too short");
  const std::uint32_t errors = result.data[0] | result.data[1] << 8 | result.data[2] << 16 |
                               static_cast<std::uint32_t>(result.data[3]) << 24;
  if (errors & kReceiveTimeoutBit) return Failed(ChipStatus::CardTimeout, {});
  if (errors != 0) return Failed(ChipStatus::CardError, "RF error bits " + felica::ToHex(std::span(result.data).first(4)));
  result.data.erase(result.data.begin(), result.data.begin() + 5);
  return result;
}

}  // namespace port100
