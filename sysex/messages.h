// The messages exchanged with the device: constants, builders for everything the host sends,
// and classification of everything the device may send.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tarn {

inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr uint8_t kManufacturerId = 0x52;
inline constexpr uint8_t kUniversalNonRealTime = 0x7E;
inline constexpr uint8_t kGeneralInformation = 0x06;
inline constexpr uint8_t kIdentityRequestSubId = 0x01;
inline constexpr uint8_t kIdentityReplySubId = 0x02;

// Command byte (position 4) of maker messages.
namespace command {
inline constexpr uint8_t kHostStatus = 0x00;  // host -> device
inline constexpr uint8_t kBeginUpdate = 0x01;
inline constexpr uint8_t kWriteBlock = 0x02;
inline constexpr uint8_t kFinishUpdate = 0x04;
inline constexpr uint8_t kEraseFlash = 0x0A;
inline constexpr uint8_t kReadFlash = 0x60;
inline constexpr uint8_t kDeviceStatus = 0x00;  // device -> host
inline constexpr uint8_t kDeviceDone = 0x02;
inline constexpr uint8_t kDeviceNotice = 0x03;
inline constexpr uint8_t kReadFlashReply = 0x60;
}  // namespace command

inline constexpr uint8_t kReadFlashSelector = 0x30;    // byte 5 of ReadFlash, byte 6 of its reply
inline constexpr uint8_t kReadFlashDataMarker = 0x04;  // byte 5 of a reply that carries data
inline constexpr uint8_t kHostAccept = 0x00;
inline constexpr uint8_t kHostReject = 0x01;

// Family code (low, high) and member code (low, high) from an identity reply.
using Identity = std::array<uint8_t, 4>;

// Compared row by row in this order; rows 0 and 1 coincide.
inline constexpr std::array<Identity, 3> AcceptedIdentities{{
    {0x6E, 0x00, 0x04, 0x00},
    {0x6E, 0x00, 0x04, 0x00},
    {0x6E, 0x00, 0x01, 0x00},
}};

inline constexpr int32_t kBlockSize = 4096;  // raw bytes per WriteBlock
inline constexpr int32_t kMaxLen2 = 16383;   // largest value a two-group length holds
inline constexpr int32_t kIdentityRequestLength = 6;
inline constexpr int32_t kIdentityReplyLength = 15;
inline constexpr int32_t kBeginUpdateLength = 6;
inline constexpr int32_t kFinishUpdateLength = 6;
inline constexpr int32_t kHostStatusLength = 7;
inline constexpr int32_t kEraseFlashLength = 16;
inline constexpr int32_t kReadFlashLength = 17;
inline constexpr int32_t kMaxMessageLength = 4700;  // a WriteBlock of one full block

// Length of a WriteBlock message carrying `rawLength` bytes (packed length + 18); 0 when
// `rawLength` is outside 0..kMaxLen2, which no WriteBlock can carry.
int32_t WriteBlockLength(int32_t rawLength);

// Builders: each writes one complete message into `destination` (which holds at least the
// message's length) and returns the number of bytes written. `modelByte` is byte 3. Every byte
// between F0 and F7 is below 0x80: a model, status or identity byte is sent without bit 7.
int32_t IdentityRequest(uint8_t* destination);
int32_t IdentityReply(uint8_t* destination, const Identity& acceptedIdentity);
int32_t BeginUpdate(uint8_t* destination, uint8_t modelByte);
int32_t FinishUpdate(uint8_t* destination, uint8_t modelByte);
int32_t HostStatus(uint8_t* destination, uint8_t modelByte, uint8_t status);
int32_t EraseFlash(uint8_t* destination, uint8_t modelByte, uint32_t address, uint32_t count);
int32_t ReadFlash(uint8_t* destination, uint8_t modelByte, uint32_t address, uint32_t count);
// `length` is 0..kMaxLen2; the destination holds WriteBlockLength(length) bytes. A length
// outside that range cannot be expressed in the message: nothing is written and 0 returned.
int32_t WriteBlock(uint8_t* destination, uint8_t modelByte, uint32_t address, const uint8_t* data,
                   int32_t length);

// What a received message is, judged only by the bytes that identify it. A message too short
// to hold the bytes its kind is recognised by, or the fields its handling reads, is kIgnored.
enum class IncomingKind {
  kIgnored,                    // not SysEx, another manufacturer, other universal messages
  kDeviceStatus,               // maker 00: status code in byte 5
  kDeviceDone,                 // maker 02
  kDeviceRequest,              // maker 01, 04, 05: answered with HostStatus 00
  kDeviceNotice,               // maker 03: no answer
  kReadFlashReply,             // maker 60
  kUnknownMakerCommand,        // any other maker command: answered with HostStatus 01
  kIdentityReply,              // 7E .. 06 02: identity in bytes 6..9
  kIdentityRequest,            // 7E .. 06 01: answered with the host's IdentityReply
  kUnknownGeneralInformation,  // 7E .. 06 other: answered with HostStatus 01
};

IncomingKind Classify(std::span<const uint8_t> message);

// Where the pieces of a ReadFlashReply that carries data lie inside the received message.
struct ReadFlashPayload {
  int32_t rawLength;                // n, from bytes 9..10
  std::span<const uint8_t> packed;  // PackedLength(n) bytes from byte 11
  uint32_t expectedCrc;             // Decode35 of the five bytes after the packed data
};

// The payload of a ReadFlashReply with byte 5 = 04 and byte 6 = 30, or nothing when the
// message is not such a reply or is too short to hold, before its closing F7, the data and
// checksum that n announces (11 + PackedLength(n) + 5 bytes). Never reads outside `message`.
std::optional<ReadFlashPayload> LocateReadFlashPayload(std::span<const uint8_t> message);

// A device message with the fields its handling reads, judged as Classify judges it.
struct IncomingMessage {
  IncomingKind kind = IncomingKind::kIgnored;
  uint8_t status = 0;                       // kDeviceStatus: byte 5
  Identity identity{};                      // kIdentityReply: bytes 6..9
  bool carriesData = false;                 // kReadFlashReply: byte 5 is the data marker
  std::optional<ReadFlashPayload> payload;  // kReadFlashReply: data and checksum, when whole
};

IncomingMessage ParseIncoming(std::span<const uint8_t> message);

}  // namespace tarn
