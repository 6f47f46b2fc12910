// What the pen sends waits in its queue until a receive takes it, in order and
// not before it is ready; a restart empties the queue and ends that boot's links.
#include "pen_test_support.h"

namespace virtualpen::testing {
namespace {

using PacketQueue = PenTest;

TEST_F(PacketQueue, ResponsesWaitForAReceiveAndComeInOrder) {
  auto pen = PlugAndOpen();
  for (std::uint32_t i = 0; i < 3; ++i) {
    const Bytes request = ReadRequest(0x8000 + 0x100 * i, 16);
    ASSERT_EQ(link->Send(request.data(), request.size()), PenLink::Result::Ok);
  }
  EXPECT_EQ(pen->QueuedPackets(), 3u);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(Parse(Next()).address, 0x8000 + 0x100 * i);
}

TEST_F(PacketQueue, DebugByteQueuesATextAndTouchesNothing) {
  auto pen = PlugAndOpen();
  const auto before = pen->ReadFlash(0, kFlashSize);
  const std::uint8_t debug = kDebugByte;
  ASSERT_EQ(link->Send(&debug, 1), PenLink::Result::Ok);
  const Bytes text = Next();
  EXPECT_EQ(PacketType(text), kPacketText);
  EXPECT_EQ(TextOf(text).rfind("Debug:", 0), 0u);
  EXPECT_EQ(pen->ReadFlash(0, kFlashSize), before);
  EXPECT_EQ(pen->RequestCount(), 0u);  // control bytes are not flash requests
}

TEST_F(PacketQueue, RestartEmptiesTheQueueAndEndsTheLinksOfThatBoot) {
  auto pen = PlugAndOpen();
  const Bytes request = ReadRequest(0x4000, 16);
  ASSERT_EQ(link->Send(request.data(), request.size()), PenLink::Result::Ok);
  Restart();
  EXPECT_EQ(pen->QueuedPackets(), 0u);
  Bytes buffer(1060);
  std::size_t received = 99;
  EXPECT_EQ(link->Receive(buffer.data(), buffer.size(), &received), PenLink::Result::NotConnected);
  EXPECT_EQ(received, 0u);

  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  ASSERT_TRUE(pen->IsOnBus());
  EXPECT_EQ(link->Send(request.data(), request.size()), PenLink::Result::NotConnected);
  Reopen(pen);
  EXPECT_EQ(Exchange(request).status, kStatusOk);
}

TEST_F(PacketQueue, ResponseIsReadyOnlyAfterLatencyAndFlashTime) {
  // At this time scale, 20,000 ms of product time are 20 ms of real time.
  struct Case {
    PenTiming timing;
    Bytes request;
    std::uint32_t expectedMs;
  } cases[] = {
      {{20000, 0, 0}, ReadRequest(0x4000, 16), 20000},
      {{0, 20000, 0}, EraseRequest(0x9000), 20000},
      {{0, 0, 40000}, WriteRequest(0x9000, Bytes(512, 0)), 20000},  // half a KiB: half the time
  };
  auto pen = PlugAndOpen();
  for (const Case& c : cases) {
    pen->SetTiming(c.timing);
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(link->Send(c.request.data(), c.request.size()), PenLink::Result::Ok);
    EXPECT_EQ(Parse(Next()).status, kStatusOk);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, afx::Scaled(c.expectedMs));
  }
}

}  // namespace
}  // namespace virtualpen::testing
