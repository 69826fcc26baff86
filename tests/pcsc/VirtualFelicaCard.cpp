#include "pcsc/VirtualFelicaCard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ContactlessApdu.h"

namespace emulator {
namespace {

// The contactless-storage ATR of PC/SC part 3 for FeliCa (standard 11, name 00 3B).
felica::Bytes FelicaAtr() {
  felica::Bytes atr{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                    0x03, 0x06, 0x11, 0x00, 0x3B, 0x00, 0x00, 0x00, 0x00};
  std::uint8_t check = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
  atr.push_back(check);
  return atr;
}

const felica::Bytes kWrongLength{0x67, 0x00};
const felica::Bytes kNotSupported{0x6A, 0x81};
const felica::Bytes kWrongInstruction{0x6D, 0x00};

felica::Bytes StatusObjects(std::uint8_t failedObject, std::uint8_t sw1, std::uint8_t sw2) {
  return {0xC0, 0x03, failedObject, sw1, sw2};
}

felica::Bytes WithOk(felica::Bytes body) {
  body.push_back(0x90);
  body.push_back(0x00);
  return body;
}

}  // namespace

VirtualFelicaCard::VirtualFelicaCard(int port, sim::CardImage card, VirtualFaults faults)
    : field_(card), idm_(card.idm), faults_(faults) {
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

VirtualFelicaCard::~VirtualFelicaCard() {
  const char stop = 1;
  [[maybe_unused]] auto written = write(stop_[1], &stop, 1);
  if (thread_.joinable()) thread_.join();
  if (socket_ >= 0) close(socket_);
  close(stop_[0]);
  close(stop_[1]);
}

bool VirtualFelicaCard::ReceiveMessage(felica::Bytes& message) {
  auto readExactly = [this](std::uint8_t* into, std::size_t size) {
    for (std::size_t got = 0; got < size;) {
      pollfd fds[2] = {{socket_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 || fds[1].revents) return false;
      // Without quick ACKs every exchange waits for the delayed-ACK timer.
      const int one = 1;
      setsockopt(socket_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
      const ssize_t n = recv(socket_, into + got, size - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  };
  std::uint8_t length[2];
  if (!readExactly(length, 2)) return false;
  message.assign(static_cast<std::size_t>(length[0] << 8 | length[1]), 0);
  return readExactly(message.data(), message.size());
}

void VirtualFelicaCard::SendMessage(const felica::Bytes& message) {
  felica::Bytes out{static_cast<std::uint8_t>(message.size() >> 8), static_cast<std::uint8_t>(message.size() & 0xFF)};
  out.insert(out.end(), message.begin(), message.end());
  send(socket_, out.data(), out.size(), MSG_NOSIGNAL);
}

void VirtualFelicaCard::Serve() {
  felica::Bytes message;
  while (ReceiveMessage(message)) {
    if (message.size() == 1) {  // control: 00 off, 01 on, 02 reset, 04 ATR
      if (message[0] == 0x02) session_ = felica_ = false;
      if (message[0] == 0x04) SendMessage(FelicaAtr());
      continue;
    }
    ++apdus_;
    if (faults_.disconnectAfterApdus && apdus_ > *faults_.disconnectAfterApdus) {
      shutdown(socket_, SHUT_RDWR);
      return;
    }
    if (faults_.emptyAnswerAfterApdus && apdus_ > *faults_.emptyAnswerAfterApdus) {
      // A card vanishing mid-command leaves a reader answering with less than a
      // status word; vpcd cannot carry 0 bytes, so one byte stands for it.
      SendMessage({0x90});
      continue;
    }
    SendMessage(Respond(message));
  }
}

felica::Bytes VirtualFelicaCard::Respond(const felica::Bytes& apdu) {
  if (apdu.size() < 4) return kWrongLength;
  if (apdu[0] != 0xFF) return {0x6E, 0x00};
  if (apdu[1] == 0xCA) {  // GET DATA
    if (apdu.size() != 5 || apdu[4] != 0x00) return kWrongLength;
    if (apdu[2] != 0x00 || apdu[3] != 0x00) return kNotSupported;
    return WithOk(felica::Bytes(idm_.begin(), idm_.end()));
  }
  if (apdu[1] != 0xC2 || apdu[2] != 0x00) return kWrongInstruction;
  // Short Lc (one byte) with an optional Le, or extended Lc (00 HH LL) with a two-byte Le.
  std::size_t lc, start;
  if (apdu.size() >= 7 && apdu[4] == 0x00) {
    lc = static_cast<std::size_t>(apdu[5] << 8 | apdu[6]);
    start = 7;
    if (apdu.size() != start + lc && apdu.size() != start + lc + 2) return kWrongLength;
  } else {
    if (apdu.size() < 5) return kWrongLength;
    lc = apdu[4];
    start = 5;
    if (apdu.size() != start + lc && apdu.size() != start + lc + 1) return kWrongLength;
  }
  return Transparent(apdu[3], std::span(apdu).subspan(start, lc));
}

felica::Bytes VirtualFelicaCard::Transparent(std::uint8_t p2, std::span<const std::uint8_t> bytes) {
  const auto objects = pcsc::ParseDataObjects(bytes);
  if (!objects || objects->empty()) return kWrongLength;
  switch (p2) {
    case 0x00:  // manage session
      for (const auto& object : *objects) {
        if (object.tag == 0x81 && object.value.empty()) session_ = true;
        else if (object.tag == 0x82 && object.value.empty()) session_ = felica_ = false;
        else if ((object.tag == 0x83 || object.tag == 0x84) && object.value.empty()) continue;
        else if (object.tag == 0x5F46 && object.value.size() == 4) continue;
        else return kWrongLength;
      }
      return WithOk(StatusObjects(0x00, 0x90, 0x00));
    case 0x02:  // switch protocol
      if (objects->size() != 1 || (*objects)[0].tag != 0x8F || (*objects)[0].value.size() != 2) return kWrongLength;
      if (!session_ || (*objects)[0].value[0] != 0x03) return WithOk(StatusObjects(0x01, 0x6A, 0x81));
      felica_ = true;
      return WithOk(StatusObjects(0x00, 0x90, 0x00));
    case 0x01: {  // transparent exchange
      if (!session_ || !felica_) return WithOk(StatusObjects(0x01, 0x69, 0x85));
      std::chrono::milliseconds timeout(100);
      const std::vector<std::uint8_t>* frame = nullptr;
      for (const auto& object : *objects) {
        if (object.tag == 0x5F46) {
          if (object.value.size() != 4) return kWrongLength;
          const std::uint32_t micros = object.value[0] | object.value[1] << 8 | object.value[2] << 16 |
                                       static_cast<std::uint32_t>(object.value[3]) << 24;
          timeout = std::chrono::milliseconds(micros / 1000);
        } else if (object.tag == 0x95) {
          frame = &object.value;
        } else {
          return kWrongLength;
        }
      }
      if (!frame || frame->empty() || (*frame)[0] != frame->size()) return kWrongLength;
      auto answer = field_.Exchange(*frame, timeout);
      if (answer.status != reader::TransportStatus::Ok) return WithOk(StatusObjects(0x01, 0x64, 0x01));
      felica::Bytes body = StatusObjects(0x00, 0x90, 0x00);
      const std::uint8_t framing[] = {0x00};
      const std::uint8_t status[] = {0x00, 0x00};
      pcsc::AppendDataObject(body, 0x92, framing);
      pcsc::AppendDataObject(body, 0x96, status);
      pcsc::AppendDataObject(body, 0x97, answer.frame);
      return WithOk(std::move(body));
    }
    default:
      return {0x6A, 0x86};
  }
}

}  // namespace emulator
