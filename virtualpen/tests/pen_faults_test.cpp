// Every fault kind a test can inject, and how faults are counted.
#include "pen_test_support.h"

namespace virtualpen::testing {
namespace {

using PenFaults = PenTest;

const Bytes kIdentityRead = ReadRequest(kIdentityBlockAddress, 16);

RequestFault Fault(RequestFaultKind kind, std::uint32_t request = 1, std::uint32_t value = 0) {
  RequestFault fault;
  fault.kind = kind;
  fault.request = request;
  fault.value = value;
  return fault;
}

RestartFault OnRestart(RestartFaultKind kind, std::uint32_t restart = 1) {
  RestartFault fault;
  fault.kind = kind;
  fault.restart = restart;
  return fault;
}

TEST_F(PenFaults, DropCarriesTheRequestOutWithoutAResponse) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::DropResponse));
  const Bytes erase = EraseRequest(0x9000);
  ASSERT_EQ(link->Send(erase.data(), erase.size()), PenLink::Result::Ok);
  EXPECT_EQ(pen->QueuedPackets(), 0u);
  EXPECT_EQ(pen->ReadFlash(0x9000, 4), Bytes(4, 0xFF));
}

TEST_F(PenFaults, CountRequestsFromWhenTheyAreAddedAndMaySpanSeveral) {
  auto pen = PlugAndOpen();
  EXPECT_EQ(Exchange(kIdentityRead).status, kStatusOk);
  RequestFault fault = Fault(RequestFaultKind::DropResponse, 2);
  fault.count = 3;
  pen->AddFault(fault);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::Ok);
  }
  EXPECT_EQ(pen->QueuedPackets(), 2u);  // the 1st and 5th after adding kept their answers
  EXPECT_EQ(pen->RequestCount(), 6u);
}

TEST_F(PenFaults, DelayHoldsTheResponseAndTheOnesBehindIt) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::DelayResponse, 1, 15000));
  pen->AddFault(Fault(RequestFaultKind::DelayResponse, 2, 100000000));  // 100 s of real time
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(kIdentityRead).status, kStatusOk);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, afx::Scaled(15000));
  ASSERT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::Ok);
  ASSERT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::Ok);
  Bytes buffer(1060);
  std::size_t received = 0;
  EXPECT_EQ(link->Receive(buffer.data(), buffer.size(), &received, std::chrono::milliseconds(1)),
            PenLink::Result::TimedOut);
  EXPECT_EQ(pen->QueuedPackets(), 2u);
}

TEST_F(PenFaults, DuplicateSendsTheSameResponseTwice) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::DuplicateResponse));
  EXPECT_EQ(Next(), Exchange(kIdentityRead).packet);
  EXPECT_EQ(pen->QueuedPackets(), 0u);
}

TEST_F(PenFaults, CorruptionsChangeOneFieldEach) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::CorruptStatus, 1, 0x77));
  pen->AddFault(Fault(RequestFaultKind::CorruptCommand, 2, 0x0F));
  pen->AddFault(Fault(RequestFaultKind::CorruptAddress, 3));
  pen->AddFault(Fault(RequestFaultKind::CorruptSize, 4, 0x20));
  pen->AddFault(Fault(RequestFaultKind::CorruptChecksum, 5));
  const Response status = Exchange(kIdentityRead);
  EXPECT_EQ(status.status, 0x77);
  EXPECT_TRUE(status.checksumOk);
  EXPECT_EQ(Exchange(kIdentityRead).command, kCommandRead ^ 0x0F);
  EXPECT_EQ(Exchange(kIdentityRead).address, kIdentityBlockAddress ^ 1);
  const Response size = Exchange(kIdentityRead);
  EXPECT_EQ(size.size, 16 ^ 0x20);
  EXPECT_EQ(size.packet.size(), 6u + 10u + 16u + 4u);  // only the field changed
  const Response checksum = Exchange(kIdentityRead);
  EXPECT_EQ(checksum.data.size(), 16u);
  EXPECT_FALSE(checksum.checksumOk);
  EXPECT_TRUE(Exchange(kIdentityRead).checksumOk);  // all spent
}

TEST_F(PenFaults, TruncateCutsThePacketDownToNothingIfAsked) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::TruncateResponse, 1, 12));
  pen->AddFault(Fault(RequestFaultKind::TruncateResponse, 2, 0));
  EXPECT_EQ(Exchange(kIdentityRead).packet.size(), 12u);
  ASSERT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::Ok);
  Bytes buffer(1060);
  std::size_t received = 99;
  EXPECT_EQ(link->Receive(buffer.data(), buffer.size(), &received, kPatience), PenLink::Result::Ok);
  EXPECT_EQ(received, 0u);
}

TEST_F(PenFaults, UnplugAtRequestLeavesBeforeCarryingItOutAndStaysAway) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::UnplugAtRequest, 2));
  ASSERT_EQ(Exchange(EraseRequest(0x9000)).status, kStatusOk);
  const Bytes write = WriteRequest(0x9000, Bytes(16, 0));
  EXPECT_EQ(link->Send(write.data(), write.size()), PenLink::Result::NotConnected);
  EXPECT_EQ(pen->ReadFlash(0x9000, 16), Bytes(16, 0xFF));
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_FALSE(pen->IsOnBus());
}

TEST_F(PenFaults, NeverReturnKeepsThePenAwayAfterARestart) {
  auto pen = PlugAndOpen();
  pen->AddFault(OnRestart(RestartFaultKind::NeverReturn));
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_FALSE(pen->IsOnBus());
  EXPECT_TRUE(bus->Plug(pen));  // plugged in by hand, it works again
}

TEST_F(PenFaults, NoDfuAnnouncementComesBackInDfuModeSilently) {
  auto pen = PlugAndOpen();
  pen->AddFault(OnRestart(RestartFaultKind::NoDfuAnnouncement));
  pen->SetFunctionButtonHeld(true);
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_EQ(pen->Mode(), PenMode::DfuMode);
  EXPECT_EQ(pen->QueuedPackets(), 1u);
  EXPECT_EQ(PacketType(NextPacket(*bus->Open())), kPacketText);
}

TEST_F(PenFaults, ForeignProductAppliesToTheChosenRestartOnly) {
  auto pen = PlugAndOpen();
  RestartFault fault = OnRestart(RestartFaultKind::ForeignProduct, 2);
  fault.productId = 0x0777;
  pen->AddFault(fault);
  const std::uint8_t expectedLow[] = {0x04, 0x77, 0x04};
  for (const std::uint8_t low : expectedLow) {
    Restart();
    ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
    EXPECT_EQ(pen->Descriptor()[10], low);
    EXPECT_EQ(bus->InterfaceNames().at(0).find("PID_0777") != std::string::npos, low == 0x77);
    Reopen(pen);
  }
}

TEST_F(PenFaults, ClearFaultsForgetsWhatWasPlanned) {
  auto pen = PlugAndOpen();
  pen->AddFault(Fault(RequestFaultKind::DropResponse));
  pen->AddFault(OnRestart(RestartFaultKind::NeverReturn));
  pen->ClearFaults();
  EXPECT_EQ(Exchange(kIdentityRead).status, kStatusOk);
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_TRUE(pen->IsOnBus());
}

}  // namespace
}  // namespace virtualpen::testing
