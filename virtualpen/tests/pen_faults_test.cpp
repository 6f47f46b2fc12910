// What the pen's timing model and injected faults do to its answers, and how
// faults are counted: from the moment they are added, 1 being the next one.
#include "pen_test_support.h"

namespace virtualpen::testing {
namespace {

using PenFaults = PenTest;

Bytes Unsequenced(Bytes packet) {
  if (packet.size() >= 4) packet[2] = packet[3] = 0;
  return packet;
}

TEST_F(PenFaults, EachRequestFaultChangesTheAnswerAsItSays) {
  auto pen = PlugAndOpen();
  const Bytes normal = Unsequenced(Answers(kIdentityRead).at(0));
  const auto with = [&](std::size_t at, std::uint8_t mask) {
    Bytes packet = normal;
    packet[at] ^= mask;
    return std::vector<Bytes>{packet};
  };
  const struct {
    RequestFaultKind kind;
    std::uint32_t value;
    std::vector<Bytes> answers;
  } cases[] = {
      {RequestFaultKind::DropResponse, 0, {}},
      {RequestFaultKind::DuplicateResponse, 0, {normal, normal}},
      {RequestFaultKind::CorruptStatus, 0x77, with(8, 0x77)},
      {RequestFaultKind::CorruptCommand, 0, with(9, 0x01)},
      {RequestFaultKind::CorruptAddress, 0x100, with(11, 0x01)},
      {RequestFaultKind::CorruptSize, 0x20, with(14, 0x20)},
      {RequestFaultKind::CorruptChecksum, 0, with(16 + 16, 0x01)},
      {RequestFaultKind::TruncateResponse, 12, {Bytes(normal.begin(), normal.begin() + 12)}},
      {RequestFaultKind::TruncateResponse, 0, {Bytes()}},
  };
  for (const auto& c : cases) {
    pen->AddFault(RequestFault{c.kind, 1, 1, c.value});
    std::vector<Bytes> answers;
    for (const Bytes& packet : Answers(kIdentityRead)) answers.push_back(Unsequenced(packet));
    EXPECT_EQ(answers, c.answers) << static_cast<int>(c.kind);
  }
  EXPECT_EQ(Unsequenced(Answers(kIdentityRead).at(0)), normal);  // all spent
}

TEST_F(PenFaults, FaultsCountRequestsFromWhenTheyAreAdded) {
  auto pen = PlugAndOpen();
  Answers(kIdentityRead);
  pen->AddFault(RequestFault{RequestFaultKind::DropResponse, 2, 3, 0});
  std::vector<std::size_t> answered;
  for (int i = 0; i < 5; ++i) answered.push_back(Answers(kIdentityRead).size());
  EXPECT_EQ(answered, (std::vector<std::size_t>{1, 0, 0, 0, 1}));
  EXPECT_EQ(pen->RequestCount(), 6u);
  Answers({kDebugByte});  // single-byte commands are not requests
  EXPECT_EQ(pen->RequestCount(), 6u);
}

// As when the PC sleeps and USB power goes: the pen leaves at the request without
// carrying it out, and comes back by itself V ms later, booted from its flash as
// after a power cut; not a restart.
TEST_F(PenFaults, SuspendAtARequestLeavesAndComesBackLaterBootedFromItsFlash) {
  auto pen = PlugAndOpen();
  ASSERT_EQ(Status(Erase(kBootControlAddress)), kStatusOk);
  const Bytes bootMain = Write(kBootControlAddress, {0x00, 0x80, 0x02, 0x80});
  for (const PenMode mode : {PenMode::DfuMode, PenMode::MainFirmware}) {
    pen->AddFault(RequestFault{RequestFaultKind::SuspendAtRequest, 2, 1, 50000});  // 50 ms here
    EXPECT_EQ(Status(kIdentityRead), kStatusOk);
    const auto requests = pen->RequestCount();
    // A sector that the running firmware may erase.
    const std::uint32_t sector = pen->Mode() == PenMode::MainFirmware ? kDfuRegionStart : kMainRegionStart;
    const Bytes erase = Erase(sector);
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(link->Send(erase.data(), erase.size()), PenLink::Result::NotConnected);
    ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, afx::Scaled(50000));
    EXPECT_EQ(pen->Mode(), mode);
    EXPECT_EQ(pen->RequestCount(), requests + 1);
    EXPECT_NE(pen->ReadFlash(sector, 4), Bytes(4, 0xFF));
    Reopen(pen);
    if (mode == PenMode::DfuMode) {
      ASSERT_EQ(Status(bootMain), kStatusOk);
    }
  }
  EXPECT_EQ(pen->RestartCount(), 0u);
}

TEST_F(PenFaults, RestartFaultsHitTheirRestartOnly) {
  auto pen = PlugAndOpen();
  pen->AddFault(RestartFault{RestartFaultKind::ForeignProduct, 2, 0x0777});
  pen->AddFault(RestartFault{RestartFaultKind::NoDfuAnnouncement, 3});
  pen->AddFault(RestartFault{RestartFaultKind::NeverReturn, 4});
  pen->SetFunctionButtonHeld(true);  // every boot in DFU mode
  const std::uint16_t products[] = {0x0204, 0x0777, 0x0204};
  for (int restart = 0; restart < 3; ++restart) {
    Restart();
    ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
    EXPECT_EQ(pen->Descriptor()[10] | pen->Descriptor()[11] << 8, products[restart]);
    EXPECT_EQ(bus->InterfaceNames().at(0).find("PID_0777") != std::string::npos, restart == 1);
    EXPECT_EQ(pen->QueuedPackets(), restart == 2 ? 1u : 2u);  // the text, then the announcement
    Reopen(pen);
  }
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_FALSE(pen->IsOnBus());
}

// Latency per request, erase time per sector, program time pro rata per KiB
// (rounded up), only for what succeeded; injected delays come on top.
TEST_F(PenFaults, AnswersAreReadyAfterThePensTime) {
  const PenTiming timing = {3, 25, 2};
  FlashResponse read, erase, write, failed;
  read.command = kCommandRead, erase.command = kCommandErase, write.command = kCommandWrite;
  failed = erase, failed.status = kStatusAddressError;
  write.size = 1;
  EXPECT_EQ(BusyMilliseconds(timing, read), 3u);
  EXPECT_EQ(BusyMilliseconds(timing, erase), 28u);
  EXPECT_EQ(BusyMilliseconds(timing, write), 4u);
  write.size = 1536;
  EXPECT_EQ(BusyMilliseconds(timing, write), 6u);
  EXPECT_EQ(BusyMilliseconds(timing, failed), 3u);

  auto pen = PlugAndOpen();
  pen->SetTiming({20000, 0, 0});  // 20 ms of real time at this scale
  pen->AddFault(RequestFault{RequestFaultKind::DelayResponse, 1, 1, 10000});
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(Answers(kIdentityRead).size(), 1u);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, afx::Scaled(30000));
  EXPECT_EQ(pen->ModelMilliseconds(), 30000u);
}

}  // namespace
}  // namespace virtualpen::testing
