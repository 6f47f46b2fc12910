// The flash-access protocol from the pen's side: every status code, and the
// response layout the host relies on.
#include "pen_test_support.h"

#include "firmware/image_generator.h"

namespace virtualpen::testing {
namespace {

using FlashProtocol = PenTest;

TEST_F(FlashProtocol, ReadAnswersWithFlashBytesAndAChecksumThatSumsToZero) {
  PlugAndOpen();
  const Response identity = Exchange(ReadRequest(kIdentityBlockAddress, 16));
  EXPECT_EQ(identity.type, kPacketFlashResponse);
  EXPECT_EQ(identity.status, kStatusOk);
  EXPECT_EQ(identity.command, kCommandRead);
  EXPECT_EQ(identity.address, kIdentityBlockAddress);
  EXPECT_EQ(identity.size, 16);
  EXPECT_EQ(identity.data, Bytes(kValidIdentityBlock.begin(), kValidIdentityBlock.end()));
  EXPECT_TRUE(identity.checksumOk);

  const Response chunk = Exchange(ReadRequest(kMainRegionStart, 1024));
  const auto image = firmware::GenerateMainImage(3, 0x10);
  EXPECT_EQ(chunk.data, Bytes(image.begin(), image.begin() + 1024));
  EXPECT_TRUE(chunk.checksumOk);
  EXPECT_EQ(chunk.packet.size(), 1044u);  // fits one 1,060-byte receive
}

TEST_F(FlashProtocol, EraseAndWriteChangeTheFlashOutsideTheRunningRegion) {
  auto pen = PlugAndOpen();  // main firmware: the DFU region and boot sector may change
  ASSERT_EQ(Exchange(EraseRequest(0x9000)).status, kStatusOk);
  EXPECT_EQ(pen->ReadFlash(0x9000, kSectorSize), Bytes(kSectorSize, 0xFF));
  const Bytes chunk(1024, 0x3C);
  const Response written = Exchange(WriteRequest(0x9400, chunk));
  EXPECT_EQ(written.status, kStatusOk);
  EXPECT_EQ(written.address, 0x9400u);
  EXPECT_EQ(written.size, 1024);
  EXPECT_EQ(written.packet.size(), 16u);  // data and checksum only for reads
  EXPECT_EQ(pen->ReadFlash(0x9400, 1024), chunk);
  EXPECT_EQ(Exchange(EraseRequest(kBootControlAddress)).status, kStatusOk);
}

TEST_F(FlashProtocol, MalformedRequestsGetSyntaxError) {
  PlugAndOpen();
  Bytes badMarker = ReadRequest(0x4000, 16);
  badMarker[0] = 0xFC;
  Bytes shortRead = ReadRequest(0x4000, 16);
  shortRead.pop_back();
  Bytes longRead = ReadRequest(0x4000, 16);
  longRead.push_back(0);
  Bytes writeWithoutChecksum = WriteRequest(0x9000, Bytes(8, 0));
  writeWithoutChecksum.resize(writeWithoutChecksum.size() - 4);
  for (const Bytes& request : {badMarker, Header(0xF1, 0x4000, 16), shortRead, longRead, writeWithoutChecksum,
                               Header(kCommandErase, 0x9000, 0x800), ReadRequest(0x4000, 0),
                               ReadRequest(0x4000, 1025), WriteRequest(0x9000, Bytes(2049, 0)),
                               Bytes{kRequestMarker}}) {
    EXPECT_EQ(Exchange(request).status, kStatusSyntaxError) << ::testing::PrintToString(request);
  }
  EXPECT_EQ(Exchange(Header(0xF1, 0x4000, 16)).command, 0xF1);  // echoed as far as it could be read
}

TEST_F(FlashProtocol, AddressesOutsideTheFlashOrProtectedGetAddressError) {
  auto pen = PlugAndOpen();
  for (const Bytes& request : {
           ReadRequest(kFlashSize - 8, 16), ReadRequest(0xFFFFFFF0u, 32), EraseRequest(kFlashSize),
           EraseRequest(0x4000), WriteRequest(0x6FFE, Bytes(4, 0)),  // boot ROM and identity block
           EraseRequest(0x9010),                                      // not a sector start
           EraseRequest(kMainRegionStart), WriteRequest(kMainRegionStart - 2, Bytes(4, 0))}) {
    EXPECT_EQ(Exchange(request).status, kStatusAddressError) << ::testing::PrintToString(request);
  }
  EXPECT_EQ(pen->ReadFlash(kIdentityBlockAddress, 16),
            Bytes(kValidIdentityBlock.begin(), kValidIdentityBlock.end()));
}

TEST_F(FlashProtocol, DfuModeProtectsTheDfuRegionAndMayChangeTheMainRegion) {
  PenOptions options;
  options.startInDfuMode = true;
  PlugAndOpen(options);
  EXPECT_EQ(Exchange(EraseRequest(kDfuRegionEnd - kSectorSize)).status, kStatusAddressError);
  EXPECT_EQ(Exchange(WriteRequest(kDfuRegionStart, Bytes(4, 0))).status, kStatusAddressError);
  EXPECT_EQ(Exchange(EraseRequest(kMainRegionStart)).status, kStatusOk);
  EXPECT_EQ(Exchange(WriteRequest(kMainRegionStart, Bytes(1024, 0x11))).status, kStatusOk);
}

TEST_F(FlashProtocol, BadWriteChecksumGetsChecksumErrorBeforeAnyAddressTest) {
  auto pen = PlugAndOpen();
  ASSERT_EQ(Exchange(EraseRequest(0x9000)).status, kStatusOk);
  Bytes request = WriteRequest(0x9000, Bytes(16, 0x42));
  request.back() ^= 0x01;
  EXPECT_EQ(Exchange(request).status, kStatusChecksumError);
  EXPECT_EQ(pen->ReadFlash(0x9000, 16), Bytes(16, 0xFF));
  Bytes corruptBelow = WriteRequest(0x4000, Bytes(4, 1));
  corruptBelow.back() ^= 0x10;
  EXPECT_EQ(Exchange(corruptBelow).status, kStatusChecksumError);
}

TEST_F(FlashProtocol, WriteOverUnerasedBitsGetsFlashOpError) {
  auto pen = PlugAndOpen();
  ASSERT_EQ(Exchange(EraseRequest(0x9000)).status, kStatusOk);
  ASSERT_EQ(Exchange(WriteRequest(0x9000, Bytes(4, 0x0F))).status, kStatusOk);
  EXPECT_EQ(Exchange(WriteRequest(0x9000, Bytes(4, 0xF0))).status, kStatusFlashOpError);
  EXPECT_EQ(pen->ReadFlash(0x9000, 4), Bytes(4, 0x0F));
}

}  // namespace
}  // namespace virtualpen::testing
