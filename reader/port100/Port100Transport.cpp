#include "Port100Transport.h"

#include "LibusbLink.h"
#include "felica_for_vb.h"

namespace port100 {

reader::TransportResult Port100Transport::Exchange(std::span<const std::uint8_t> frame,
                                                   std::chrono::milliseconds timeout) {
  using reader::TransportStatus;
  auto result = chip_->CommunicateRF(frame, timeout);
  switch (result.status) {
    case ChipStatus::Ok: return {TransportStatus::Ok, std::move(result.data), {}};
    case ChipStatus::CardTimeout: return {TransportStatus::Timeout, {}, {}};
    case ChipStatus::Gone: return {TransportStatus::ReaderGone, {}, "reader unplugged"};
    case ChipStatus::CardError:
    case ChipStatus::NoAnswer:
    case ChipStatus::BadFrame: return {TransportStatus::Transmission, {}, std::move(result.detail)};
  }
  return {TransportStatus::Transmission, {}, {}};
}

reader::OpenResult OpenOverLink(std::unique_ptr<UsbLink> link) {
  auto chip = std::make_unique<Port100Chip>(std::move(link));
  auto ready = chip->Initialize();
  if (ready.status != ChipStatus::Ok) {
    const auto rwError = ready.status == ChipStatus::Gone ? FELICA_RW_NO_READER : FELICA_RW_TRANSMISSION;
    return {nullptr, rwError, "RC-S380: " + ready.detail};
  }
  return {std::make_unique<Port100Transport>(std::move(chip)), 0, {}};
}

reader::OpenResult OpenFirstDevice(std::string_view argument) {
  if (!argument.empty()) {
    return {nullptr, FELICA_RW_BAD_CONFIGURATION, "FELICA_READER=port100 takes no argument"};
  }
  auto opened = LibusbLink::OpenFirst();
  if (!opened.link) return {nullptr, opened.rwError, std::move(opened.diagnostic)};
  return OpenOverLink(std::move(opened.link));
}

}  // namespace port100
