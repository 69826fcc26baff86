#include "ReaderSession.h"

#include <algorithm>
#include <string>

#include "ChunkSizes.h"
#include "LibraryLog.h"
#include "Timeouts.h"
#include "Trace.h"

namespace reader {

ReaderSession::ReaderSession(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}

Expected<Bytes> ReaderSession::Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds cardTime) {
  ++commandsSent_;
  trace::Bytes("frame", trace::Direction::ToReader, frame);
  auto answer = transport_->Exchange(frame, cardTime);
  if (answer) trace::Bytes("frame", trace::Direction::FromReader, *answer);
  if (!answer && answer.error().kind != ErrorKind::Timeout) Log("", answer.error());
  return answer;
}

Expected<PollingAnswer> ReaderSession::TracedPoll(const PollingRequest& request) {
  trace::Bytes("frame", trace::Direction::ToReader, EncodePolling(request));
  auto answer = transport_->Poll(request, kPollingTimeout);
  if (answer && trace::Enabled()) {  // as the card's frame, whichever way the reader polled
    Bytes frame{static_cast<std::uint8_t>(2 + answer->idm.size() + answer->pmm.size()), kPollingResponse};
    frame.insert(frame.end(), answer->idm.begin(), answer->idm.end());
    frame.insert(frame.end(), answer->pmm.begin(), answer->pmm.end());
    trace::Bytes("frame", trace::Direction::FromReader, frame);
  }
  return answer;
}

void ReaderSession::Log(std::string_view step, const Error& error) const {
  if (!error.detail.empty()) LogLine(std::string(transport_->Name()) + ": " + std::string(step) + error.detail);
}

Expected<PollingAnswer> ReaderSession::Poll(const PollingRequest& request) {
  card_.reset();
  polling_ = request;
  ++commandsSent_;
  auto answer = TracedPoll(request);
  if (!answer) {
    const Error& error = answer.error();
    if (error.kind == ErrorKind::Timeout || error.kind == ErrorKind::CardLost) {
      // A timeout says why only when the reader gave an answer of its own that meant nothing here.
      if (error.kind == ErrorKind::Timeout) Log("polling: ", error);
      return Fail(ErrorKind::NoCard);
    }
    Log("polling: ", error);
    return answer;
  }
  card_ = *answer;
  chunkSize_ = InitialChunkSize(answer->pmm);
  return answer;
}

Expected<bool> ReaderSession::SameCardPresent(const Idm& idm) {
  ++commandsSent_;
  const auto answer = TracedPoll(polling_);
  if (answer) return answer->idm == idm;
  const Error& error = answer.error();
  if (error.kind == ErrorKind::Timeout || error.kind == ErrorKind::CardLost) return Fail(ErrorKind::CardLost);
  // The reader itself failed: that, not the card, is the news.
  Log("polling: ", error);
  return Unexpected(error);
}

Expected<BlocksRead> ReaderSession::Read(const ReadRequest& request) {
  if (!card_) return Fail(ErrorKind::NoCard);
  BlocksRead result;
  const int total = static_cast<int>(request.blocks.size());
  result.blockData.reserve(request.blocks.size() * kBlockSize);

  int size = chunkSize_;
  int position = 0;
  while (position < total) {
    const int count = std::min(size, total - position);
    const auto chunk =
        std::span(request.blocks).subspan(static_cast<std::size_t>(position), static_cast<std::size_t>(count));
    const auto frame = EncodeReadWithoutEncryption(request.idm, request.serviceCodes, chunk);
    if (!frame) {  // too long for one frame (many services, 3-byte elements)
      size = SmallerChunkSize(count);
      if (size == 0) return Unexpected(frame.error());
      continue;
    }

    auto answer = Exchange(*frame, ReadTimeout(card_->pmm, count));
    if (!answer && answer.error().kind == ErrorKind::Timeout) {
      // Silence: the card left, another took its place, or it is slow at this size.
      const auto same = SameCardPresent(request.idm);
      if (!same) return Unexpected(same.error());
      if (!*same) return Fail(ErrorKind::CardSwapped);
      size = SmallerChunkSize(count);
      if (size == 0) {
        Log("", answer.error());
        return Unexpected(answer.error());
      }
      continue;
    }
    if (!answer) return Unexpected(answer.error());

    auto decoded = DecodeReadWithoutEncryption(*answer, request.idm, count);
    if (!decoded) {
      if (decoded.error().kind != ErrorKind::CardSwapped) LogLine("read: " + decoded.error().detail);
      return Unexpected(decoded.error());
    }
    result.statusFlag1 = decoded->statusFlag1;
    result.statusFlag2 = decoded->statusFlag2;
    if (decoded->statusFlag1 != 0) {
      const bool tooMany =
          decoded->statusFlag2 == kStatusIllegalBlockCount || decoded->statusFlag2 == kStatusIllegalServiceCount;
      if (tooMany && count > 1) {
        size = SmallerChunkSize(count);
        continue;
      }
      Error error{ErrorKind::CardError, {}, decoded->statusFlag1, decoded->statusFlag2};
      return Unexpected(std::move(error));
    }
    if (decoded->statusFlag2 != 0) {
      // Flag 2 without flag 1 is not a valid answer.
      Error error{ErrorKind::BadResponse, {}, decoded->statusFlag1, decoded->statusFlag2};
      return Unexpected(std::move(error));
    }
    result.blockData.insert(result.blockData.end(), decoded->blockData.begin(), decoded->blockData.end());
    position += count;
    chunkSize_ = std::min(chunkSize_, size);  // kept for the rest of the session
  }
  return result;
}

}  // namespace reader
