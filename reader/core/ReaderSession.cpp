#include "ReaderSession.h"

#include <algorithm>
#include <string>

#include "ChunkSizes.h"
#include "Diagnostic.h"

namespace reader {
namespace {

constexpr std::uint8_t kIllegalNumberOfService = 0xA1;
constexpr std::uint8_t kIllegalNumberOfBlock = 0xA2;

std::int32_t RwErrorFor(TransportStatus status) {
  switch (status) {
    case TransportStatus::Ok: return FELICA_RW_OK;
    case TransportStatus::Timeout: return FELICA_RW_TIMEOUT;
    case TransportStatus::CardLost: return FELICA_RW_CARD_LOST;
    case TransportStatus::Transmission: return FELICA_RW_TRANSMISSION;
    case TransportStatus::ReaderGone: return FELICA_RW_NO_READER;
  }
  return FELICA_RW_TRANSMISSION;
}

bool Fail(Failure& failure, std::int32_t rwError, std::uint8_t sf1 = 0, std::uint8_t sf2 = 0) {
  failure = Failure{rwError, sf1, sf2};
  return false;
}

}  // namespace

ReaderSession::ReaderSession(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}

TransportResult ReaderSession::Send(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout,
                                    bool polling) {
  ++commandsSent_;
  auto result = polling ? transport_->Poll(frame, timeout) : transport_->Exchange(frame, timeout);
  if (result.status != TransportStatus::Ok && result.status != TransportStatus::Timeout && !result.detail.empty()) {
    Diagnostic(std::string(transport_->Name()) + ": " + result.detail);
  }
  return result;
}

bool ReaderSession::Poll(std::uint8_t systemCode0, std::uint8_t systemCode1, std::uint8_t timeSlot,
                         felica::PollingAnswer& answer, Failure& failure) {
  card_.reset();
  pollingFrame_ = felica::EncodePolling(systemCode0, systemCode1, 0x00, timeSlot);
  auto result = Send(pollingFrame_, kPollingTimeout, true);
  if (result.status == TransportStatus::Timeout || result.status == TransportStatus::CardLost) {
    return Fail(failure, FELICA_RW_NO_CARD);
  }
  if (result.status != TransportStatus::Ok) return Fail(failure, RwErrorFor(result.status));
  if (const auto error = felica::DecodePolling(result.frame, answer); error != felica::DecodeError::None) {
    Diagnostic(std::string("polling: ") + std::string(felica::Describe(error)));
    return Fail(failure, FELICA_RW_BAD_RESPONSE);
  }
  card_ = answer;
  chunkSize_ = InitialChunkSize(answer.pmm);
  return true;
}

ReaderSession::Presence ReaderSession::CheckPresence(const felica::Idm& idm) {
  auto result = Send(pollingFrame_, kPollingTimeout, true);
  felica::PollingAnswer answer;
  if (result.status != TransportStatus::Ok || felica::DecodePolling(result.frame, answer) != felica::DecodeError::None) {
    return Presence::Gone;
  }
  return answer.idm == idm ? Presence::SameCard : Presence::OtherCard;
}

bool ReaderSession::Read(const felica::Idm& idm, std::span<const std::uint8_t> serviceCodeList,
                         int numberOfServices, std::span<const felica::BlockListElement> elements,
                         ReadResult& result, Failure& failure) {
  result = ReadResult{};
  if (!card_) return Fail(failure, FELICA_RW_NO_CARD);
  const int total = static_cast<int>(elements.size());
  result.blockData.reserve(elements.size() * felica::kBlockSize);

  int size = chunkSize_;
  int position = 0;
  while (position < total) {
    const int count = std::min(size, total - position);
    const auto chunk = elements.subspan(static_cast<std::size_t>(position), static_cast<std::size_t>(count));
    const auto frame = felica::EncodeReadWithoutEncryption(idm, serviceCodeList, numberOfServices, chunk);
    if (!frame) {  // too long for one frame (many services, 3-byte elements)
      size = SmallerChunkSize(count);
      if (size == 0) return Fail(failure, FELICA_RW_INVALID_ARGUMENT);
      continue;
    }

    auto answer = Send(*frame, ReadTimeout(card_->pmm, count), false);
    if (answer.status == TransportStatus::Timeout) {
      // Silence: the card left, another took its place, or it is slow at this size.
      const Presence presence = CheckPresence(idm);
      if (presence == Presence::Gone) return Fail(failure, FELICA_RW_CARD_LOST);
      if (presence == Presence::OtherCard) return Fail(failure, FELICA_RW_CARD_SWAPPED);
      size = SmallerChunkSize(count);
      if (size == 0) return Fail(failure, FELICA_RW_TIMEOUT);
      continue;
    }
    if (answer.status != TransportStatus::Ok) return Fail(failure, RwErrorFor(answer.status));

    felica::ReadAnswer decoded;
    const auto error = felica::DecodeReadWithoutEncryption(answer.frame, idm, count, decoded);
    if (error == felica::DecodeError::WrongIdm) return Fail(failure, FELICA_RW_CARD_SWAPPED);
    if (error != felica::DecodeError::None) {
      Diagnostic(std::string("read: ") + std::string(felica::Describe(error)));
      return Fail(failure, FELICA_RW_BAD_RESPONSE);
    }
    result.statusFlag1 = decoded.statusFlag1;
    result.statusFlag2 = decoded.statusFlag2;
    if (decoded.statusFlag1 != 0) {
      const bool tooMany =
          decoded.statusFlag2 == kIllegalNumberOfBlock || decoded.statusFlag2 == kIllegalNumberOfService;
      if (tooMany && count > 1) {
        size = SmallerChunkSize(count);
        continue;
      }
      return Fail(failure, FELICA_RW_CARD_ERROR, decoded.statusFlag1, decoded.statusFlag2);
    }
    if (decoded.statusFlag2 != 0) {
      // Flag 2 without flag 1 is not a valid answer.
      return Fail(failure, FELICA_RW_BAD_RESPONSE, decoded.statusFlag1, decoded.statusFlag2);
    }
    result.blockData.insert(result.blockData.end(), decoded.blockData.begin(), decoded.blockData.end());
    position += count;
    chunkSize_ = std::min(chunkSize_, size);  // kept for the rest of the session
  }
  return true;
}

}  // namespace reader
