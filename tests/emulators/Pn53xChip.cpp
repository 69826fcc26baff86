#include "emulators/Pn53xChip.h"

namespace emulator {
namespace {

using std::chrono::microseconds;
constexpr microseconds kPollingTry(4000);  // one FeliCa polling and its time slot
constexpr std::uint8_t kTimeout = 0x01;
constexpr std::uint8_t kWrongContext = 0x27;

}  // namespace

Pn53xChip::Reply Pn53xChip::Answer(std::uint8_t command, Bytes results, microseconds after) {
  Bytes data{0xD5, static_cast<std::uint8_t>(command + 1)};
  Append(data, results);
  return {std::move(data), after};
}

std::optional<Pn53xChip::Reply> Pn53xChip::Execute(std::span<const std::uint8_t> command) {
  if (command.empty()) return Reply{{}, microseconds(500), true};
  const std::uint8_t code = command[0];
  const auto parameters = command.subspan(1);
  switch (code) {
    case 0x00:  // Diagnose: the communication line test echoes its data
      return Answer(code, Bytes(parameters.begin(), parameters.end()));
    case 0x02:  // GetFirmwareVersion: IC, version, revision, support (A, B, 18092)
      switch (model_) {
        case Pn53xModel::Pn532: return Answer(code, {0x32, 0x01, 0x06, 0x07});
        case Pn53xModel::Pn533: return Answer(code, {0x33, 0x02, 0x08, 0x07});
        case Pn53xModel::Rcs956: return Answer(code, {0x33, 0x01, 0x30, 0x07});  // Sony ROM code 01
      }
      break;
    case 0x04: {  // GetGeneralStatus: error, field, targets (Tg, rates, FeliCa), and the PN532's SAM status
      Bytes status = targetListed_ ? Bytes{0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x10} : Bytes{0x00, 0x00, 0x00};
      if (model_ == Pn53xModel::Pn532) status.push_back(0x00);
      return Answer(code, status);
    }
    case 0x06: {  // ReadRegister: the PN533 puts a status byte first
      Bytes values;
      if (model_ == Pn53xModel::Pn533) values.push_back(0x00);
      for (std::size_t i = 0; i + 1 < parameters.size(); i += 2)
        values.push_back(registers_[parameters[i] << 8 | parameters[i + 1]]);
      return Answer(code, values);
    }
    case 0x08: {  // WriteRegister: address (2), value; the PN532 answers nothing
      for (std::size_t i = 0; i + 2 < parameters.size(); i += 3)
        registers_[parameters[i] << 8 | parameters[i + 1]] = parameters[i + 2];
      return Answer(code, model_ == Pn53xModel::Pn532 ? Bytes{} : Bytes{0x00});
    }
    case 0x12:  // SetParameters
      return Answer(code, {});
    case 0x14:  // SAMConfiguration: the PN532's alone
      if (model_ != Pn53xModel::Pn532) break;
      return Answer(code, {});
    case 0x16:  // PowerDown
      return Answer(code, {0x00});
    case 0x18:  // ResetMode: the RC-S956's alone
      if (model_ != Pn53xModel::Rcs956) break;
      targetListed_ = false;
      return Answer(code, {0x00});
    case 0x32:  // RFConfiguration
      if (parameters.size() >= 4 && parameters[0] == 0x02) retryTimeout_ = parameters[3];
      if (parameters.size() >= 4 && parameters[0] == 0x05) passiveRetries_ = parameters[3];
      return Answer(code, {});
    case 0x4A: return ListPassiveTarget(parameters);
    case 0x40:  // InDataExchange: Tg, data
      if (parameters.empty() || parameters[0] != 0x01 || !targetListed_) return Answer(code, {kWrongContext});
      return Exchange(code, parameters.subspan(1));
    case 0x42:  // InCommunicateThru: data
      return Exchange(code, parameters);
    case 0x44:  // InDeselect
    case 0x52:  // InRelease: the RC-S956 adds an error code byte
      targetListed_ = false;
      return Answer(code, model_ == Pn53xModel::Rcs956 ? Bytes{0x00, 0x00} : Bytes{0x00});
  }
  return Reply{{}, microseconds(500), true};
}

// MaxTg, BrTy (01: FeliCa 212 kbps), then the polling command without its length byte.
std::optional<Pn53xChip::Reply> Pn53xChip::ListPassiveTarget(std::span<const std::uint8_t> parameters) {
  targetListed_ = false;
  if (parameters.size() != 7 || parameters[1] != 0x01) return Answer(0x4A, {0x00});
  Bytes polling{0x06};
  Append(polling, parameters.subspan(2));
  const int tries = passiveRetries_ == 0xFF ? -1 : passiveRetries_ + 1;
  for (int attempt = 1; tries < 0 || attempt <= tries; ++attempt) {
    if (auto answer = card ? card->Answer(polling) : std::nullopt) {
      targetListed_ = true;
      Bytes results{0x01, 0x01};  // one target, Tg 1, POL_RES with its length byte
      Append(results, *answer);
      return Answer(0x4A, results, kPollingTry * attempt);
    }
    if (tries < 0) return std::nullopt;  // polls on until aborted
  }
  return Answer(0x4A, {0x00}, kPollingTry * tries);
}

Pn53xChip::Reply Pn53xChip::Exchange(std::uint8_t command, std::span<const std::uint8_t> frame) {
  const microseconds wait = retryTimeout_ ? microseconds(100 << (retryTimeout_ - 1)) : std::chrono::seconds(5);
  if (auto answer = card ? card->AnswerWithin(frame, wait) : std::nullopt) {
    Bytes results{0x00};
    Append(results, *answer);
    return Answer(command, results, card->TimeFor(frame) + microseconds(500));
  }
  return Answer(command, {kTimeout}, wait);
}

}  // namespace emulator
