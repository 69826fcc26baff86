#include "Port100Chip.h"

#include <algorithm>
#include <string>
#include <utility>

namespace port100 {
namespace {

using namespace std::chrono_literals;
using reader::ErrorKind;
using reader::Fail;

constexpr auto kCommandTimeout = 100ms;  // a chip command, not counting the card's time

// InSetProtocol for FeliCa: the chip's defaults, then an initial guard time of 24.
constexpr std::uint8_t kProtocolDefaults[] = {
    0x00, 0x18, 0x01, 0x01, 0x02, 0x01, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x08, 0x08, 0x00, 0x09,
    0x00, 0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0E, 0x04, 0x0F, 0x00, 0x10, 0x00, 0x11, 0x00, 0x12, 0x00, 0x13, 0x06};
constexpr std::uint8_t kInitialGuardTime[] = {0x00, 0x18};
constexpr std::uint8_t kFelica212[] = {0x01, 0x01, 0x0F, 0x01};  // send and receive at 212 kbps
constexpr std::uint8_t kRfOff[] = {0x00};
constexpr std::uint8_t kCommandType1[] = {0x01};

reader::Unexpected UsbFailure(usb::TransferStatus status, const char* what) {
  if (status == usb::TransferStatus::Gone) return Fail(ErrorKind::NoReader, "reader unplugged");
  if (status == usb::TransferStatus::Partial) return Fail(ErrorKind::Transmission, "reader took part of a command");
  return Fail(ErrorKind::Transmission, what);
}

std::string CommandName(std::uint8_t code) {
  switch (code) {
    case command::kInSetRF: return "InSetRF";
    case command::kInSetProtocol: return "InSetProtocol";
    case command::kInCommRF: return "InCommRF";
    case command::kSwitchRF: return "SwitchRF";
    case command::kGetFirmwareVersion: return "GetFirmwareVersion";
    case command::kSetCommandType: return "SetCommandType";
    default: return "command " + std::to_string(code);
  }
}

}  // namespace

Port100Chip::Port100Chip(std::unique_ptr<usb::BulkPipes> link) : link_(std::move(link)) {}

Port100Chip::~Port100Chip() {
  (void)Command(command::kSwitchRF, kRfOff);
  link_->BulkWrite(kAckFrame, kCommandTimeout);
}

reader::Expected<void> Port100Chip::Initialize() {
  if (auto status = link_->BulkWrite(kAckFrame, kCommandTimeout); status != usb::TransferStatus::Ok) {
    return UsbFailure(status, "cannot write to the reader");
  }
  link_->Drain();
  const std::pair<std::uint8_t, std::span<const std::uint8_t>> steps[] = {{command::kSetCommandType, kCommandType1},
                                                                          {command::kGetFirmwareVersion, {}},
                                                                          {command::kSwitchRF, kRfOff},
                                                                          {command::kInSetRF, kFelica212},
                                                                          {command::kInSetProtocol, kProtocolDefaults},
                                                                          {command::kInSetProtocol, kInitialGuardTime}};
  for (const auto& [code, parameters] : steps) {
    auto result = Command(code, parameters);
    if (!result) return reader::Unexpected(result.error());
    // All but GetFirmwareVersion answer one status byte, 0 for success.
    if (code != command::kGetFirmwareVersion && (result->empty() || (*result)[0] != 0)) {
      return Fail(ErrorKind::Transmission, "reader refused its set-up");
    }
  }
  return {};
}

void Port100Chip::Abandon() {
  link_->BulkWrite(kAckFrame, kCommandTimeout);
  link_->Drain();
}

reader::Expected<reader::Bytes> Port100Chip::Command(std::uint8_t code, std::span<const std::uint8_t> parameters,
                                                     std::chrono::milliseconds extraTime) {
  Hiccup first = Hiccup::None, second = Hiccup::None;
  auto result = Exchange(code, parameters, extraTime, first);
  if (result || result.error().kind == ErrorKind::NoReader) return result;
  Abandon();
  // Every command this library sends may go twice: the set-up's only set the chip up, and InCommRF carries pollings
  // and reads (nothing here writes to a card). Only a hiccup is tried again, once.
  if (first == Hiccup::None) return result;
  result = Exchange(code, parameters, extraTime, second);
  if (result || result.error().kind == ErrorKind::NoReader) return result;
  Abandon();
  if (second != first) return result;
  reader::Error error = result.error();
  error.detail += " twice";
  return reader::Unexpected(std::move(error));
}

reader::Expected<reader::Bytes> Port100Chip::Exchange(std::uint8_t code, std::span<const std::uint8_t> parameters,
                                                      std::chrono::milliseconds extraTime, Hiccup& hiccup) {
  if (auto status = link_->BulkWrite(EncodeCommand(code, parameters), kCommandTimeout);
      status != usb::TransferStatus::Ok) {
    return UsbFailure(status, "cannot write to the reader");
  }
  const auto errorFrame = [&] {
    hiccup = Hiccup::ErrorFrame;
    return Fail(ErrorKind::Transmission, CommandName(code) + " met the chip's error frame");
  };
  reader::Bytes received;
  if (auto status = link_->BulkRead(received, kCommandTimeout); status != usb::TransferStatus::Ok) {
    return UsbFailure(status, "reader firmware does not answer");
  }
  const auto ack = DecodeFrame(received).kind;
  if (ack == FrameKind::Error) return errorFrame();
  if (ack != FrameKind::Ack) return Fail(ErrorKind::Transmission, "reader sent no ACK");
  if (auto status = link_->BulkRead(received, kCommandTimeout + extraTime); status != usb::TransferStatus::Ok) {
    if (status != usb::TransferStatus::Timeout) return UsbFailure(status, "no response from the reader");
    hiccup = Hiccup::Unanswered;
    return Fail(ErrorKind::Transmission, CommandName(code) + " acknowledged but not answered");
  }
  auto response = DecodeFrame(received);
  if (response.kind == FrameKind::Error) return errorFrame();
  if (response.kind != FrameKind::Data) return Fail(ErrorKind::Transmission, std::string(response.fault));
  if (response.data.size() < 2 || response.data[0] != kFromDevice || response.data[1] != code + 1) {
    return Fail(ErrorKind::Transmission, "response to another command");
  }
  response.data.erase(response.data.begin(), response.data.begin() + 2);
  return std::move(response.data);
}

reader::Expected<reader::Bytes> Port100Chip::CommunicateRF(std::span<const std::uint8_t> frame,
                                                           std::chrono::milliseconds cardTime) {
  // The card's time in units of 0.1 ms, then the frame.
  const auto units = static_cast<std::uint16_t>(std::min<long>(cardTime.count() * 10, 0xFFFF));
  reader::Bytes parameters{static_cast<std::uint8_t>(units & 0xFF), static_cast<std::uint8_t>(units >> 8)};
  parameters.insert(parameters.end(), frame.begin(), frame.end());
  auto result = Command(command::kInCommRF, parameters, cardTime);
  if (!result) return result;
  return ParseInCommRfResult(*result);
}

}  // namespace port100
