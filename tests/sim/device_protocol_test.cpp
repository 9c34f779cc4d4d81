// The virtual device's answers to every kind of request, and its NOR-flash rules.
#include <gtest/gtest.h>

#include "sysex/device_status.h"
#include "sysex/host_requests.h"
#include "tests/sim/device_harness.h"

namespace tarn::sim::testing {
namespace {

namespace status = device_status;

// The data of a read reply whose checksum holds, or nothing.
std::optional<Message> ReadData(const Message& reply) {
  const auto unpacked = UnpackReadFlashReply(reply);
  if (!unpacked || !unpacked->crcMatches) return std::nullopt;
  return unpacked->data;
}

TEST(DeviceIdentity, AnswersWithItsIdentityAndVersionWhateverTheDeviceNumber) {
  DeviceConfig config;
  config.device.identity = {0x6E, 0x00, 0x01, 0x00};
  config.device.version = {'0', '1', '2', '3'};
  DeviceRig rig(config);
  const Message expected = DeviceIdentityReplyMessage(config.device.identity, {'0', '1', '2', '3'});
  EXPECT_EQ(rig.Exchange(MakeIdentityRequest()), expected);
  EXPECT_EQ(rig.Exchange({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}), expected);  // to every device
}

TEST(DeviceUpdateMode, BeginAndFlashRequestsAreRefusedOutsideUpdateMode) {
  DeviceConfig config;
  config.updateMode = false;
  DeviceRig rig(config);
  const Message notInMode = Status(status::kNotInUpdateMode);
  EXPECT_EQ(rig.Exchange(MakeBegin()), notInMode);
  EXPECT_EQ(rig.Exchange(MakeErase(0, 0x1000)), notInMode);
  EXPECT_EQ(rig.Exchange(MakeWrite(0, Pattern(16, 1))), notInMode);
  EXPECT_EQ(rig.Exchange(MakeRead(0, 4)), notInMode);
  EXPECT_EQ(rig.Exchange(MakeFinish()), notInMode);
  EXPECT_EQ(rig.device.FlashBytes(0, 16), Message(16, 0xFF));

  rig.device.SetUpdateMode(true);
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(status::kOk));
  EXPECT_EQ(rig.Exchange(MakeFinish()), Status(status::kOk));
}

TEST(DeviceStatusMessage, CarriesTheFirstIdentityByteAsModelByte) {
  DeviceConfig config;
  config.device.identity = {0x41, 0x00, 0x04, 0x00};
  DeviceRig rig(config);
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(status::kOk, 0x41));
}

TEST(DeviceErase, AcceptsOnlyWholeSectorsInsideTheFlash) {
  struct Case {
    uint32_t address;
    uint32_t count;
    uint8_t status;
  };
  const Case cases[] = {
      {0x0, 0x1000, status::kOk},
      {0x7FF000, 0x1000, status::kOk},
      {0x160000, 0x6A0000, status::kOk},
      {0x0, 0x800000, status::kOk},
      {0x0, 0x0, status::kOutOfRange},
      {0x800, 0x1000, status::kOutOfRange},
      {0x1000, 0x800, status::kOutOfRange},
      {0x7FF000, 0x2000, status::kOutOfRange},
      {0x800000, 0x1000, status::kOutOfRange},
      {0xFFFFF000, 0x2000, status::kOutOfRange},  // wraps around 32 bits
  };
  DeviceRig rig;
  for (const Case& c : cases) {
    EXPECT_EQ(rig.Exchange(MakeErase(c.address, c.count)), Status(c.status))
        << std::hex << c.address << "+" << c.count;
  }
}

TEST(DeviceErase, SetsTheRangeAndNothingElseBackToErased) {
  DeviceRig rig;
  const Message data = Pattern(0x3000, 5);
  ASSERT_EQ(rig.Exchange(MakeWrite(0x1000, Message(data.begin(), data.begin() + 0x1000))),
            Status(status::kOk));
  ASSERT_EQ(rig.Exchange(MakeWrite(0x2000, Message(data.begin() + 0x1000, data.begin() + 0x2000))),
            Status(status::kOk));
  ASSERT_EQ(rig.Exchange(MakeErase(0x2000, 0x1000)), Status(status::kOk));
  EXPECT_EQ(rig.device.FlashBytes(0x1000, 0x1000), Message(data.begin(), data.begin() + 0x1000));
  EXPECT_EQ(rig.device.FlashBytes(0x2000, 0x1000), Message(0x1000, 0xFF));
}

TEST(DeviceWrite, StoresCheckedBlocksOnlyWhereTheFlashWasErased) {
  DeviceRig rig;
  const Message block = Pattern(kBlockSize, 3);
  const Message other = Pattern(kBlockSize, 4);
  const Message tail = Pattern(1696, 9);

  EXPECT_EQ(rig.Exchange(MakeWrite(0x40000, block)), Status(status::kOk));
  EXPECT_EQ(rig.device.FlashBytes(0x40000, kBlockSize), block);
  // The same block again changes nothing and is accepted, as a resend must be.
  EXPECT_EQ(rig.Exchange(MakeWrite(0x40000, block)), Status(status::kOk));
  // Different data over written bytes needs an erase first.
  EXPECT_EQ(rig.Exchange(MakeWrite(0x40000, other)), Status(status::kNotErased));
  EXPECT_EQ(rig.Exchange(MakeWrite(0x40800, other)), Status(status::kNotErased));
  EXPECT_EQ(rig.device.FlashBytes(0x40000, kBlockSize), block);
  ASSERT_EQ(rig.Exchange(MakeErase(0x40000, 0x1000)), Status(status::kOk));
  EXPECT_EQ(rig.Exchange(MakeWrite(0x40000, other)), Status(status::kOk));
  EXPECT_EQ(rig.device.FlashBytes(0x40000, kBlockSize), other);
  // A short last block, anywhere inside the flash.
  EXPECT_EQ(rig.Exchange(MakeWrite(0x7FF000, tail)), Status(status::kOk));
  EXPECT_EQ(rig.device.FlashBytes(0x7FF000, 1696), tail);
}

TEST(DeviceWrite, RefusesBadChecksumsRangesAndLengths) {
  DeviceRig rig;
  const Message block = Pattern(kBlockSize, 1);

  Message corrupted = MakeWrite(0x1000, block);
  corrupted[corrupted.size() / 2] ^= 0x01;  // one data bit flipped in transit
  EXPECT_EQ(rig.Exchange(corrupted), Status(status::kCrcMismatch));
  EXPECT_EQ(rig.device.FlashBytes(0x1000, kBlockSize), Message(kBlockSize, 0xFF));

  EXPECT_EQ(rig.Exchange(MakeWrite(0x7FFF00, block)), Status(status::kOutOfRange));
  EXPECT_EQ(rig.Exchange(MakeWrite(0xFFFFFF00, block)), Status(status::kOutOfRange));

  EXPECT_EQ(rig.Exchange(Shortened(MakeWrite(0x1000, block))), Status(status::kMalformed));
  EXPECT_EQ(rig.Exchange(MakerCommandMessage(kModel, command::kWriteBlock)),
            Status(status::kMalformed));
}

TEST(DeviceRead, RepliesWithTheFlashBytesAndTheirChecksum) {
  DeviceConfig config;
  config.device.bootVersion = VersionText{'1', '.', '0', '0'};
  DeviceRig rig(config);

  const auto reply = rig.Exchange(MakeRead(0x22FFC, 4));
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, ReadFlashReplyMessage(kModel, Message{'1', '.', '0', '0'}));

  // Beyond the four version bytes the device came erased.
  const auto around = rig.Exchange(MakeRead(0x22FF8, 12));
  ASSERT_TRUE(around);
  EXPECT_EQ(ReadData(*around),
            (Message{0xFF, 0xFF, 0xFF, 0xFF, '1', '.', '0', '0', 0xFF, 0xFF, 0xFF, 0xFF}));

  const Message block = Pattern(5000, 2);
  ASSERT_EQ(rig.Exchange(MakeWrite(0x100000, block)), Status(status::kOk));
  const auto large = rig.Exchange(MakeRead(0x100000, 5000));
  ASSERT_TRUE(large);
  EXPECT_EQ(ReadData(*large), block);
}

TEST(DeviceRead, RefusesEmptyOversizedOutsideAndMalformedRequests) {
  DeviceRig rig;
  EXPECT_EQ(rig.Exchange(MakeRead(0, 0)), Status(status::kOutOfRange));
  EXPECT_EQ(rig.Exchange(MakeRead(0, 16384)), Status(status::kOutOfRange));
  EXPECT_EQ(rig.Exchange(MakeRead(0x7FFFFE, 4)), Status(status::kOutOfRange));
  EXPECT_EQ(rig.Exchange(Shortened(MakeRead(0, 4))), Status(status::kMalformed));
  // Nor does the device take any other request whose length does not add up.
  EXPECT_EQ(rig.Exchange(Shortened(MakeErase(0, 0x1000))), Status(status::kMalformed));
  EXPECT_EQ(rig.Exchange(Lengthened(MakeBegin())), Status(status::kMalformed));
  EXPECT_EQ(rig.Exchange(Lengthened(MakeFinish())), Status(status::kMalformed));
}

TEST(DeviceMessages, UnknownCommandsAreRefusedAndHostAnswersOnlyLogged) {
  DeviceRig rig;
  EXPECT_EQ(rig.Exchange(MakerCommandMessage(kModel, 0x06)), Status(status::kUnknownCommand));
  EXPECT_EQ(rig.Exchange(MakerCommandMessage(kModel, 0x61)), Status(status::kUnknownCommand));

  const size_t answers = rig.received.Size();
  Message hostStatus(kHostStatusLength);
  HostStatus(hostStatus.data(), kModel, kHostAccept);
  Message hostIdentity(kIdentityReplyLength);
  IdentityReply(hostIdentity.data(), AcceptedIdentities[0]);
  rig.Deliver(hostStatus);
  rig.Deliver(hostIdentity);
  rig.Deliver({0x90, 0x40, 0x7F});
  rig.Deliver({0xF0, 0x41, 0x10, 0x42, 0xF7});
  rig.Deliver({0xF0, 0x7E, 0x00, 0x09, 0x01, 0xF7});
  EXPECT_EQ(rig.received.Size(), answers);

  EXPECT_EQ(rig.device.Count(RequestKind::kUnknownCommand), 2);
  EXPECT_EQ(rig.device.Count(RequestKind::kHostStatus), 1);
  EXPECT_EQ(rig.device.Count(RequestKind::kIdentityReply), 1);
  EXPECT_EQ(rig.device.Count(RequestKind::kOther), 3);
  const auto log = rig.device.Received();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(*log[2].bytes, hostStatus);
  EXPECT_EQ(*log[3].bytes, hostIdentity);
}

TEST(DeviceLog, RecordsEveryRequestWithItsAddressCountAndArrivalOrder) {
  DeviceRig rig;
  rig.Exchange(MakeIdentityRequest());
  rig.Exchange(MakeBegin());
  rig.Exchange(MakeErase(0xDF000, 0x1000));
  rig.Exchange(MakeWrite(0xDF000, Pattern(4096, 0)));
  rig.Exchange(MakeWrite(0xDF000, Pattern(4096, 0)));
  rig.Exchange(MakeRead(0x22FFC, 4));
  rig.Exchange(MakeFinish());
  rig.Exchange(Shortened(MakeWrite(0xDF000, Pattern(4096, 0))));

  const auto log = rig.device.Received();
  ASSERT_EQ(log.size(), 8u);
  const RequestKind kinds[] = {RequestKind::kIdentityRequest, RequestKind::kBeginUpdate,
                               RequestKind::kEraseFlash,      RequestKind::kWriteBlock,
                               RequestKind::kWriteBlock,      RequestKind::kReadFlash,
                               RequestKind::kFinishUpdate,    RequestKind::kWriteBlock};
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].kind, kinds[i]) << i;
    if (i > 0) {
      EXPECT_GE(log[i].at, log[i - 1].at) << i;
    }
  }
  EXPECT_EQ(log[2].address, 0xDF000u);
  EXPECT_EQ(log[2].count, 0x1000u);
  EXPECT_EQ(log[3].count, 4096u);
  EXPECT_EQ(log[3].bytes->size(), 4700u);
  EXPECT_EQ(log[5].address, 0x22FFCu);
  EXPECT_EQ(log[5].count, 4u);
  // A malformed request names no address, whatever its bytes hold where one would be.
  EXPECT_EQ(log[7].address, 0u);
  EXPECT_EQ(log[7].count, 0u);
  EXPECT_EQ(rig.device.Count(RequestKind::kWriteBlock), 3);
  EXPECT_EQ(rig.device.CountAt(RequestKind::kWriteBlock, 0xDF000), 2);
  EXPECT_EQ(rig.device.CountAt(RequestKind::kEraseFlash, 0xDF000), 1);
  EXPECT_EQ(rig.device.CountAt(RequestKind::kEraseFlash, 0), 0);
  EXPECT_EQ(rig.device.MessagesSent(), 8);
}

}  // namespace
}  // namespace tarn::sim::testing
