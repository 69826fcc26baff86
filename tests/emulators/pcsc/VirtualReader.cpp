#include "emulators/pcsc/VirtualReader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "emulators/usb/UsbReaders.h"

namespace emulator {
namespace {

const Bytes kOk{0x90, 0x00};
const Bytes kWrongLength{0x67, 0x00};
const Bytes kNotSupported{0x6A, 0x81};

Bytes With(Bytes body, const Bytes& tail) {
  Append(body, tail);
  return body;
}

Bytes Status(std::uint8_t object, std::uint8_t sw1, std::uint8_t sw2) {
  return With({0xC0, 0x03, object, sw1, sw2}, kOk);
}

// The contactless ATR of PC/SC part 3: FeliCa by the card name 00 3B (an ACR122U says F0 11).
Bytes Atr(PcscModel model) {
  Bytes atr{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
  Append(atr, model == PcscModel::Acr122u ? Bytes{0x03, 0xF0, 0x11} : Bytes{0x11, 0x00, 0x3B});
  Append(atr, Bytes{0x00, 0x00, 0x00, 0x00});
  std::uint8_t check = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
  atr.push_back(check);
  return atr;
}

// BER-TLV: a tag of one byte (two when its low five bits are set), a length
// of one byte or 81 xx or 82 xx xx. nullopt when the bytes are anything else.
std::optional<std::vector<std::pair<unsigned, Bytes>>> Objects(std::span<const std::uint8_t> bytes) {
  std::vector<std::pair<unsigned, Bytes>> objects;
  for (std::size_t at = 0; at < bytes.size();) {
    unsigned tag = bytes[at++];
    if ((tag & 0x1F) == 0x1F && at < bytes.size()) tag = tag << 8 | bytes[at++];
    if (at >= bytes.size()) return std::nullopt;
    std::size_t length = bytes[at++];
    if (length == 0x81 || length == 0x82) {
      const std::size_t extra = length - 0x80;
      if (at + extra > bytes.size()) return std::nullopt;
      length = extra == 1 ? bytes[at] : bytes[at] << 8 | bytes[at + 1];
      at += extra;
    } else if (length > 0x7F) {
      return std::nullopt;
    }
    if (at + length > bytes.size()) return std::nullopt;
    objects.emplace_back(tag, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + length)));
    at += length;
  }
  return objects;
}

}  // namespace

VirtualReader::VirtualReader(int port, PcscModel model, std::shared_ptr<FelicaCard> card)
    : model_(model), card_(std::move(card)) {
  chip_.card = card_;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int attempt = 0; attempt < 100 && socket_ < 0; ++attempt) {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(socket_);
      socket_ = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (pipe(stop_) != 0) std::abort();
  if (socket_ >= 0) thread_ = std::thread([this] { Serve(); });
}

VirtualReader::~VirtualReader() {
  [[maybe_unused]] auto written = write(stop_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
  if (socket_ >= 0) close(socket_);
  close(stop_[0]);
  close(stop_[1]);
}

// vpcd's messages: two length bytes (big-endian), then the bytes.
std::optional<Bytes> VirtualReader::ReceiveMessage() {
  auto readExactly = [this](std::uint8_t* into, std::size_t size) {
    for (std::size_t got = 0; got < size;) {
      pollfd fds[2] = {{socket_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 || fds[1].revents) return false;
      const int one = 1;  // without quick ACKs every exchange waits for the delayed-ACK timer
      setsockopt(socket_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
      const ssize_t n = recv(socket_, into + got, size - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  };
  std::uint8_t length[2];
  if (!readExactly(length, 2)) return std::nullopt;
  Bytes message(static_cast<std::size_t>(length[0] << 8 | length[1]));
  if (!readExactly(message.data(), message.size())) return std::nullopt;
  return message;
}

void VirtualReader::SendMessage(const Bytes& message) {
  const Bytes out =
      With({static_cast<std::uint8_t>(message.size() >> 8), static_cast<std::uint8_t>(message.size() & 0xFF)}, message);
  send(socket_, out.data(), out.size(), MSG_NOSIGNAL);
}

void VirtualReader::Serve() {
  while (auto message = ReceiveMessage()) {
    if (message->size() == 1) {  // control: 00 off, 01 on, 02 reset, 04 ATR
      if ((*message)[0] == 0x02) session_ = felica_ = false;
      if ((*message)[0] == 0x04) SendMessage(Atr(model_));
      continue;
    }
    if (!card_->Present()) {
      shutdown(socket_, SHUT_RDWR);  // the card has left: the reader has no card any more
      return;
    }
    SendMessage(Respond(*message));
  }
}

Bytes VirtualReader::Respond(const Bytes& apdu) {
  if (apdu.size() < 5 || apdu[0] != 0xFF) return {0x6E, 0x00};
  if (apdu[1] == 0xCA) {  // GET DATA: the IDm
    if (apdu.size() != 5 || apdu[2] != 0x00 || apdu[3] != 0x00) return kWrongLength;
    return With(Bytes(card_->Content().idm.begin(), card_->Content().idm.end()), kOk);
  }
  if (model_ == PcscModel::Unknown) return {0x6D, 0x00};
  if (apdu[1] == 0x00) return DirectTransmit(apdu);
  if (apdu[1] != 0xC2 || apdu[2] != 0x00 || model_ == PcscModel::Acr122u)
    return model_ == PcscModel::Acr122u ? kNotSupported : Bytes{0x6D, 0x00};
  // Short Lc with an optional Le, or extended Lc (00 HH LL) with a two-byte Le.
  const bool extended = apdu[4] == 0x00 && apdu.size() >= 7;
  const std::size_t lc = extended ? (apdu[5] << 8 | apdu[6]) : apdu[4];
  const std::size_t start = extended ? 7 : 5;
  if (apdu.size() != start + lc && apdu.size() != start + lc + (extended ? 2 : 1)) return kWrongLength;
  const Bytes objects(apdu.begin() + static_cast<std::ptrdiff_t>(start),
                      apdu.begin() + static_cast<std::ptrdiff_t>(start + lc));
  switch (apdu[3]) {
    case 0x00: return ManageSession(objects);
    case 0x01: return TransparentExchange(objects);
    case 0x02: {  // switch protocol: 8F 02 03 00 is FeliCa
      if (objects != Bytes{0x8F, 0x02, 0x03, 0x00}) return kWrongLength;
      if (!session_ || model_ == PcscModel::Acr1252u) return Status(0x01, 0x6A, 0x81);
      felica_ = true;
      return Status(0x00, 0x90, 0x00);
    }
    default: return {0x6A, 0x86};
  }
}

Bytes VirtualReader::ManageSession(const Bytes& objects) {
  const auto parsed = Objects(objects);
  if (!parsed || parsed->empty()) return kWrongLength;
  for (const auto& [tag, value] : *parsed) {
    const bool step = value.empty() && tag >= 0x81 && tag <= 0x84;
    if (!step && !(tag == 0x5F46 && value.size() == 4)) return kWrongLength;
    if (step && tag == 0x81) session_ = true, fieldOff_ = fieldCycled_ = false;
    if (step && tag == 0x82) session_ = felica_ = false;
    if (step && tag == 0x83) fieldOff_ = true;
    if (step && tag == 0x84) fieldCycled_ = fieldCycled_ || fieldOff_;
  }
  return Status(0x00, 0x90, 0x00);
}

Bytes VirtualReader::TransparentExchange(const Bytes& objects) {
  const auto parsed = Objects(objects);
  if (!parsed) return kWrongLength;
  if (!session_ || !felica_) return Status(0x01, 0x69, 0x85);
  std::optional<std::uint32_t> timer;
  const Bytes* frame = nullptr;
  for (const auto& [tag, value] : *parsed) {
    if (tag == 0x5F46 && value.size() == 4)
      timer = value[0] | value[1] << 8 | value[2] << 16 | static_cast<std::uint32_t>(value[3]) << 24;
    else if (tag == 0x95)
      frame = &value;
    else
      return kWrongLength;
  }
  if (!frame || frame->empty() || (*frame)[0] != frame->size()) return kWrongLength;
  if (model_ == PcscModel::Rcs300 && !timer) return Status(0x01, 0x6A, 0x80);  // the timer is not optional here
  const bool hears = model_ != PcscModel::Rcs300 || fieldCycled_;
  const auto answer =
      hears ? card_->AnswerWithin(*frame, timer ? std::chrono::microseconds(*timer) : std::chrono::microseconds::max())
            : std::nullopt;
  if (!answer) {
    std::this_thread::sleep_for(std::chrono::microseconds(std::min<std::uint32_t>(timer.value_or(0), 1000000)));
    return Status(0x02, 0x64, 0x01);
  }
  std::this_thread::sleep_for(card_->TimeFor(*frame));
  Bytes body{0xC0, 0x03, 0x00, 0x90, 0x00, 0x92, 0x01, 0x00, 0x96, 0x02, 0x00, 0x00, 0x97};
  if (answer->size() > 0x7F) body.push_back(0x81);
  body.push_back(static_cast<std::uint8_t>(answer->size()));
  Append(body, *answer);
  return With(body, kOk);
}

// FF 00 00 00 Lc data
Bytes VirtualReader::DirectTransmit(std::span<const std::uint8_t> apdu) {
  if (apdu[2] != 0x00 && !(model_ == PcscModel::Acr122u && apdu[2] == 0x51)) return {0x6A, 0x86};
  if (model_ == PcscModel::Acr122u) {
    // A PN532 polling on for ever makes the reader wait too; here it gives up after 3 s.
    auto answer = fakeusb::Acr122Apdu(chip_, apdu);
    if (!answer) {
      std::this_thread::sleep_for(std::chrono::seconds(3));
      return {0xD5, 0x4B, 0x00, 0x90, 0x00};
    }
    std::this_thread::sleep_for(answer->second);
    return answer->first;
  }
  if (model_ != PcscModel::Acr1252u) return kNotSupported;
  if (apdu[4] != apdu.size() - 5 || apdu.size() < 6) return kWrongLength;
  const auto answer = card_->Answer(apdu.subspan(5));
  std::this_thread::sleep_for(card_->TimeFor(apdu.subspan(5)));
  return answer ? With(*answer, kOk) : Bytes{0x63, 0x00};  // 63 00: the card did not answer
}

}  // namespace emulator
