// The four transfers: their result codes on a missing handle, on a handle that
// refuses the pen's control codes, and against the fake pen driver, including a
// receive left waiting while other requests go through on the same handle.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "afx/time_scale.h"
#include "usb/pen_channel.h"
#include "usb/tests/win/fake_pen.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr auto kDeadline = std::chrono::seconds(10);

// What the system itself answers to one control request on `handle`.
DWORD SystemAnswer(HANDLE handle, DWORD code, DWORD inputSize, DWORD outputSize) {
  std::uint8_t buffer[PEN_RECEIVE_BUFFER_SIZE] = {};
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD transferred = 0;
  DWORD error = ERROR_SUCCESS;
  if (!DeviceIoControl(handle, code, buffer, inputSize, buffer, outputSize, &transferred,
                       &overlapped)) {
    error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      error = GetOverlappedResult(handle, &overlapped, &transferred, TRUE) ? 0 : GetLastError();
    }
  }
  CloseHandle(overlapped.hEvent);
  return error;
}

struct ReceiveResult {
  std::uint32_t code = 0;
  Bytes bytes;
};

ReceiveResult Receive(HANDLE handle) {
  ReceiveResult result;
  std::uint8_t buffer[PEN_RECEIVE_BUFFER_SIZE];
  std::uint32_t received = 0xDEAD;
  result.code = ReadPenData(handle, buffer, &received);
  result.bytes.assign(buffer, buffer + (received <= sizeof(buffer) ? received : 0));
  return result;
}

// A ReadPenData on its own thread, as the receive thread issues it.
class BackgroundReceive {
 public:
  explicit BackgroundReceive(HANDLE handle)
      : m_handle(handle), m_result(std::async(std::launch::async, [handle] { return Receive(handle); })) {}
  BackgroundReceive(const BackgroundReceive&) = delete;
  BackgroundReceive& operator=(const BackgroundReceive&) = delete;
  ~BackgroundReceive() {
    // A receive that never ended must not keep the test from ending.
    if (m_result.valid() && m_result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      CancelIoEx(m_handle, nullptr);
    }
  }

  bool Ended() { return m_result.wait_for(kDeadline) == std::future_status::ready; }
  ReceiveResult Result() { return m_result.get(); }

 private:
  HANDLE m_handle;
  std::future<ReceiveResult> m_result;
};

class PenTransferTest : public ::testing::Test {
 protected:
  void SetUp() override { afx::SetTimeScale(0.001); }
  void TearDown() override {
    penHandle = nullptr;
    afx::SetTimeScale(1.0);
  }
};

TEST_F(PenTransferTest, MissingHandleIssuesNoRequest) {
  const std::uint8_t data[] = {1, 2, 3};
  penHandle = nullptr;
  // A request would have left its own error behind.
  SetLastError(0x1234);
  EXPECT_EQ(SendRestartCommand(), NO_DEVICE_RESULT);
  EXPECT_EQ(WritePenData(nullptr, data, sizeof(data)), NO_DEVICE_RESULT);
  EXPECT_EQ(GetLastError(), 0x1234u);
}

// An overlapped file stands for a device that refuses the pen's control codes.
class RefusingHandleTest : public PenTransferTest {
 protected:
  void SetUp() override {
    PenTransferTest::SetUp();
    char directory[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "pen", 0, path);
    m_file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(m_file, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    PenTransferTest::TearDown();
  }
  HANDLE m_file = INVALID_HANDLE_VALUE;
};

TEST_F(RefusingHandleTest, RequestsReturnTheSystemsError) {
  const DWORD sendError = SystemAnswer(m_file, IOCTL_PEN_SEND, 1, 0);
  const DWORD descriptorError =
      SystemAnswer(m_file, IOCTL_PEN_GET_DEVICE_DESCRIPTOR, 0, DEVICE_DESCRIPTOR_SIZE);
  ASSERT_NE(sendError, 0u);
  ASSERT_NE(sendError, static_cast<DWORD>(ERROR_IO_PENDING));

  const std::uint8_t data[] = {0x10, 0x20};
  EXPECT_EQ(WritePenData(m_file, data, sizeof(data)), sendError);
  penHandle = m_file;
  EXPECT_EQ(SendRestartCommand(), sendError);
  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE];
  EXPECT_EQ(ReadDeviceDescriptor(descriptor), descriptorError);
}

TEST_F(RefusingHandleTest, ReceiveFailsAtOnceWithNoBytes) {
  std::uint8_t buffer[PEN_RECEIVE_BUFFER_SIZE];
  std::uint32_t received = 77;
  EXPECT_EQ(ReadPenData(m_file, buffer, &received),
            SystemAnswer(m_file, IOCTL_PEN_RECEIVE, 0, PEN_RECEIVE_BUFFER_SIZE));
  EXPECT_EQ(received, 0u);
  // No null test on this path: the system's answer for a missing handle.
  received = 77;
  EXPECT_EQ(ReadPenData(nullptr, buffer, &received), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(received, 0u);
}

// Against the fake pen driver: one interface of the class, opened through discovery.
class FakePenTransferTest : public PenTransferTest {
 protected:
  static void SetUpTestSuite() {
    if (!RunningUnderWine()) return;
    RemoveAllPenDevices();
    s_pen = std::make_unique<RegisteredPenInterface>(kFakePenInstance);
    s_driver = std::make_unique<FakePenDriver>();
  }
  static void TearDownTestSuite() {
    s_driver.reset();
    s_pen.reset();
  }

  void SetUp() override {
    if (!RunningUnderWine()) GTEST_SKIP() << "loads a fake driver into Wine";
    ASSERT_TRUE(s_pen->ok());
    ASSERT_TRUE(s_driver->ok()) << s_driver->error();
    PenTransferTest::SetUp();
    ::testing::internal::CaptureStdout();
    m_handle = OpenPenDriver();
    ::testing::internal::GetCapturedStdout();
    ASSERT_NE(m_handle, nullptr);
    penHandle = m_handle;
    ASSERT_EQ(FakePenControl(m_handle, IOCTL_FAKE_RESET), 0u);
  }
  void TearDown() override {
    ClosePenDriver(m_handle);
    ReleaseDevicePath();
    PenTransferTest::TearDown();
  }

  // True once the driver holds `count` waiting receives.
  bool WaitForPendingReceives(DWORD count) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    DWORD pending = 0;
    while (FakePenControl(m_handle, IOCTL_FAKE_PENDING_RECEIVES, {}, &pending) == 0 &&
           pending != count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return pending == count;
  }

  ReceiveResult Receive() { return ::Receive(m_handle); }

  HANDLE m_handle = nullptr;
  static std::unique_ptr<RegisteredPenInterface> s_pen;
  static std::unique_ptr<FakePenDriver> s_driver;
};
std::unique_ptr<RegisteredPenInterface> FakePenTransferTest::s_pen;
std::unique_ptr<FakePenDriver> FakePenTransferTest::s_driver;

TEST_F(FakePenTransferTest, DescriptorIsReadWhole) {
  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE] = {};
  ASSERT_EQ(ReadDeviceDescriptor(descriptor), 0u);
  EXPECT_EQ(descriptor[0], DEVICE_DESCRIPTOR_SIZE);
  EXPECT_EQ(descriptor[10] | descriptor[11] << 8, 0x0204);  // idProduct
  EXPECT_EQ(descriptor[12] | descriptor[13] << 8, 0x0318);  // bcdDevice
}

TEST_F(FakePenTransferTest, ShortDescriptorIsAFailure) {
  ASSERT_EQ(FakePenControl(m_handle, IOCTL_FAKE_SET_DESCRIPTOR, {18, 1, 0, 2, 0, 0, 0, 64}), 0u);
  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE] = {};
  EXPECT_NE(ReadDeviceDescriptor(descriptor), 0u);
}

TEST_F(FakePenTransferTest, SentBytesArriveAsOneMessage) {
  const Bytes message = {0x01, 0x00, 0x10, 0x00, 0x04, 0x00, 0xAA, 0x55};
  ASSERT_EQ(WritePenData(m_handle, message.data(), static_cast<std::uint32_t>(message.size())), 0u);
  ASSERT_EQ(SendRestartCommand(), 0u);
  const ReceiveResult first = Receive();
  EXPECT_EQ(first.code, 0u);
  EXPECT_EQ(first.bytes, message);
  const ReceiveResult restart = Receive();
  EXPECT_EQ(restart.code, 0u);
  EXPECT_EQ(restart.bytes, Bytes{RESTART_BYTE});
}

TEST_F(FakePenTransferTest, EmptyCompletionIsAFailedRead) {
  // Completed at once: the thread's last error says nothing about this read.
  SetLastError(ERROR_SUCCESS);
  ASSERT_EQ(WritePenData(m_handle, nullptr, 0), 0u);
  const ReceiveResult atOnce = Receive();
  EXPECT_NE(atOnce.code, 0u);
  EXPECT_NE(atOnce.code, static_cast<std::uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_TRUE(atOnce.bytes.empty());

  // Completed after waiting.
  BackgroundReceive waiting(m_handle);
  ASSERT_TRUE(WaitForPendingReceives(1));
  ASSERT_EQ(WritePenData(m_handle, nullptr, 0), 0u);
  ASSERT_TRUE(waiting.Ended());
  const ReceiveResult later = waiting.Result();
  EXPECT_NE(later.code, 0u);
  EXPECT_NE(later.code, static_cast<std::uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_TRUE(later.bytes.empty());
}

TEST_F(FakePenTransferTest, WaitingReceiveLetsOtherRequestsThroughOnTheSameHandle) {
  BackgroundReceive waiting(m_handle);
  ASSERT_TRUE(WaitForPendingReceives(1));
  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE] = {};
  EXPECT_EQ(ReadDeviceDescriptor(descriptor), 0u);
  const Bytes message = {0x03, 0x50, 0x00, 0x00, 0x00, 0x00};
  ASSERT_EQ(WritePenData(m_handle, message.data(), static_cast<std::uint32_t>(message.size())), 0u);
  ASSERT_TRUE(waiting.Ended());
  const ReceiveResult result = waiting.Result();
  EXPECT_EQ(result.code, 0u);
  EXPECT_EQ(result.bytes, message);
}

TEST_F(FakePenTransferTest, ClosingTheHandleEndsAWaitingReceive) {
  BackgroundReceive waiting(m_handle);
  ASSERT_TRUE(WaitForPendingReceives(1));
  ClosePenDriver(m_handle);
  m_handle = nullptr;
  ASSERT_TRUE(waiting.Ended());
  EXPECT_EQ(waiting.Result().code, static_cast<std::uint32_t>(ERROR_OPERATION_ABORTED));
}

TEST_F(FakePenTransferTest, UnpluggedPenFailsEveryRequestWithNotConnected) {
  constexpr auto kNotConnected = static_cast<std::uint32_t>(ERROR_DEVICE_NOT_CONNECTED);
  BackgroundReceive waiting(m_handle);
  ASSERT_TRUE(WaitForPendingReceives(1));
  ASSERT_EQ(FakePenControl(m_handle, IOCTL_FAKE_UNPLUG), 0u);
  ASSERT_TRUE(waiting.Ended());
  EXPECT_EQ(waiting.Result().code, kNotConnected);

  const std::uint8_t data[] = {0x01};
  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE];
  EXPECT_EQ(Receive().code, kNotConnected);
  EXPECT_EQ(WritePenData(m_handle, data, sizeof(data)), kNotConnected);
  EXPECT_EQ(SendRestartCommand(), kNotConnected);
  EXPECT_EQ(ReadDeviceDescriptor(descriptor), kNotConnected);
}

}  // namespace
