// Result codes of the transfer operations over the virtual bus: success, 99 for a
// missing handle, 1167 once the pen is gone, failure for an empty transfer, and a
// waiting receive ended by ClosePenDriver.
#include "channel_test_support.h"

#include <atomic>
#include <vector>

namespace channel_testing {
namespace {

using Transfers = VirtualChannel;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kNotConnected = 1167;
constexpr std::uint32_t kAborted = 995;
constexpr std::uint32_t kInvalidHandle = 6;

const Bytes kIdentityRead = {0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00};

HANDLE Open() {
  ::testing::internal::CaptureStdout();
  HANDLE handle = OpenPenDriver();
  ::testing::internal::GetCapturedStdout();
  return handle;
}

struct Read {
  std::uint32_t result = 0;
  std::uint32_t received = 0;
};

Read Receive(HANDLE handle) {
  std::uint8_t buffer[PEN_RECEIVE_BUFFER_SIZE];
  Read read;
  read.received = 12345;
  read.result = ReadPenData(handle, buffer, &read.received);
  return read;
}

std::uint32_t SendIdentityRead(HANDLE handle) {
  return WritePenData(handle, kIdentityRead.data(), static_cast<std::uint32_t>(kIdentityRead.size()));
}

// A receive on another thread; constructed once it is waiting for the pen.
class WaitingReceive {
 public:
  WaitingReceive(HANDLE handle, const virtualpen::VirtualPen& pen)
      : m_thread([this, handle] { m_read = Receive(handle); }) {
    EXPECT_TRUE(WaitUntil([&pen] { return pen.WaitingReceives() == 1; }, [] {}));
  }
  ~WaitingReceive() {
    if (m_thread.joinable()) m_thread.join();
  }
  Read Result() {
    m_thread.join();
    return m_read;
  }

 private:
  Read m_read;
  std::thread m_thread;
};

TEST_F(Transfers, ExchangeWithThePen) {
  bus->PlugNewPen();
  penHandle = Open();
  ASSERT_NE(penHandle.load(), nullptr);
  EXPECT_EQ(Receive(penHandle).result, 0u);  // its greeting
  std::uint8_t descriptor[18] = {};
  EXPECT_EQ(ReadDeviceDescriptor(descriptor), 0u);
  EXPECT_EQ(descriptor[10] | descriptor[11] << 8, 0x0204);
  EXPECT_EQ(descriptor[12] | descriptor[13] << 8, 0x0310);
  EXPECT_EQ(SendIdentityRead(penHandle), 0u);
  const Read response = Receive(penHandle);
  EXPECT_EQ(response.result, 0u);
  EXPECT_EQ(response.received, 6u + 10u + 16u + 4u);
  ClosePenDriver(penHandle);
}

TEST_F(Transfers, MissingHandleGives99ForSendsAndAnErrorOtherwise) {
  EXPECT_EQ(SendRestartCommand(), NO_DEVICE_RESULT);
  EXPECT_EQ(WritePenData(nullptr, kIdentityRead.data(), 8), NO_DEVICE_RESULT);
  EXPECT_EQ(Receive(nullptr).result, kInvalidHandle);
  std::uint8_t descriptor[18];
  EXPECT_EQ(ReadDeviceDescriptor(descriptor), kInvalidHandle);
  ClosePenDriver(nullptr);
}

TEST_F(Transfers, EveryOperationOnAnUnpluggedPenGives1167EvenAfterItIsBack) {
  auto pen = bus->PlugNewPen();
  penHandle = Open();
  Receive(penHandle);
  {
    WaitingReceive waiting(penHandle, *pen);
    bus->Unplug(pen);
    EXPECT_EQ(waiting.Result().result, kNotConnected);
  }
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(SendIdentityRead(penHandle), kNotConnected);
    EXPECT_EQ(SendRestartCommand(), kNotConnected);
    std::uint8_t descriptor[18];
    EXPECT_EQ(ReadDeviceDescriptor(descriptor), kNotConnected);
    const Read read = Receive(penHandle);
    EXPECT_EQ(read.result, kNotConnected);
    EXPECT_EQ(read.received, 0u);
    ASSERT_TRUE(bus->Plug(pen));  // the old handle belongs to the opening that went
  }
  ClosePenDriver(penHandle);
}

TEST_F(Transfers, RestartSucceedsAndTheHandleIsGoneFromThenOn) {
  auto pen = bus->PlugNewPen();
  penHandle = Open();
  EXPECT_EQ(SendRestartCommand(), 0u);
  EXPECT_EQ(Receive(penHandle).result, kNotConnected);
  ASSERT_TRUE(bus->WaitUntilIdle());
  EXPECT_TRUE(pen->IsOnBus());
  EXPECT_EQ(SendIdentityRead(penHandle), kNotConnected);
  ClosePenDriver(penHandle);
}

TEST_F(Transfers, AZeroByteReceiveIsAFailure) {
  auto pen = bus->PlugNewPen();
  penHandle = Open();
  Receive(penHandle);
  virtualpen::RequestFault empty;
  empty.kind = virtualpen::RequestFaultKind::TruncateResponse;
  empty.value = 0;
  pen->AddFault(empty);
  ASSERT_EQ(SendIdentityRead(penHandle), 0u);
  const Read read = Receive(penHandle);
  EXPECT_NE(read.result, 0u);
  EXPECT_NE(read.result, kNotConnected);
  EXPECT_EQ(read.received, 0u);
  ClosePenDriver(penHandle);
}

TEST_F(Transfers, ClosePenDriverCompletesAWaitingReceiveWithAnError) {
  auto pen = bus->PlugNewPen();
  HANDLE handle = Open();
  Receive(handle);
  WaitingReceive waiting(handle, *pen);
  ClosePenDriver(handle);
  const Read read = waiting.Result();
  EXPECT_EQ(read.result, kAborted);
  EXPECT_EQ(read.received, 0u);
  // A handle used after its close fails without reaching any pen.
  EXPECT_EQ(SendIdentityRead(handle), kInvalidHandle);
  EXPECT_EQ(Receive(handle).result, kInvalidHandle);
}

TEST_F(Transfers, ConcurrentSendsAndReceivesOnOneHandle) {
  auto pen = bus->PlugNewPen();
  penHandle = Open();
  Receive(penHandle);
  constexpr int kRequests = 200;
  std::atomic<int> responses{0};
  std::thread receiver([&] {
    for (;;) {
      const Read read = Receive(penHandle);
      if (read.result == kNotConnected) return;
      if (read.result == 0) ++responses;
    }
  });
  for (int i = 0; i < kRequests; ++i) ASSERT_EQ(SendIdentityRead(penHandle), 0u);
  EXPECT_TRUE(WaitUntil([&] { return responses == kRequests; }, [] {}));
  bus->Unplug(pen);
  receiver.join();
  ClosePenDriver(penHandle);
}

}  // namespace
}  // namespace channel_testing
