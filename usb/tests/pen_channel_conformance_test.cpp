// What every channel backend must do, run on each against its own pens (pen_fixture.h).
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <string>

#include "afx/time_scale.h"
#include "record/traffic_record.h"
#include "usb/tests/pen_fixture.h"

namespace channel_testing {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr std::uint32_t kNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED
constexpr std::uint32_t kAborted = 995;        // ERROR_OPERATION_ABORTED

struct Read {
  std::uint32_t result = 0;
  std::uint32_t received = 12345;
  Bytes bytes;
};

Read Receive(HANDLE handle) {
  std::uint8_t buffer[kPenReceiveBufferSize];
  Read read;
  read.result = ReadPenData(handle, buffer, &read.received);
  if (read.received <= sizeof(buffer)) read.bytes.assign(buffer, buffer + read.received);
  return read;
}

std::uint32_t Send(HANDLE handle, const Bytes& bytes) {
  return WritePenData(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

class Channel : public ::testing::Test {
 protected:
  void SetUp() override {
    afx::SetTimeScale(0.01);
    pens = PenFixture::Make();  // may skip the test where its pens cannot be had
  }
  void TearDown() override {
    ClosePenDriver(handle);
    pens.reset();
    afx::SetTimeScale(1.0);
  }

  // What `open` returns; `output` is what it wrote.
  template <typename OpenFunction>
  static HANDLE Said(std::string* output, OpenFunction open) {
    CaptureStdout();
    HANDLE opened = open();
    *output = GetCapturedStdout();
    return opened;
  }
  // Opens the first pen; openedPath is the path it gave.
  HANDLE Open(std::string* output) {
    openedPath = "unchanged";
    return Said(output, [this] { return OpenPenDriver(openedPath); });
  }

  std::unique_ptr<PenFixture> pens;
  HANDLE handle = nullptr;  // closed at the end
  std::string openedPath;
};

TEST_F(Channel, DiscoveryCountsOpensAndNamesThePenAtEveryOpen) {
  std::string first;
  EXPECT_EQ(CountPenDevices(), 0);
  EXPECT_EQ(Open(&first), nullptr);
  EXPECT_EQ(first, "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n");
  EXPECT_EQ(openedPath, "");
  const std::string name = pens->PlugPen();
  EXPECT_EQ(CountPenDevices(), 1);
  std::string second;
  handle = Open(&first);
  HANDLE again = Open(&second);
  EXPECT_EQ(first, "Symbolic link is " + name + "\n");
  EXPECT_EQ(second, first);
  EXPECT_NE(handle, nullptr);
  EXPECT_NE(again, nullptr);
  EXPECT_NE(again, handle);
  ClosePenDriver(again);
  EXPECT_EQ(openedPath, name);
}

// The restarted pen is opened by the path its arrival names, in any letter case.
TEST_F(Channel, AnInterfaceOpensByItsPathWhileItIsPresent) {
  const std::string name = pens->PlugPen();
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto open = [](const std::string& path, std::string* output) {
    return Said(output, [&path] { return OpenPenInterface(path); });
  };
  std::string output;
  handle = open(lower, &output);
  EXPECT_EQ(output, "Symbolic link is " + lower + "\n");
  ASSERT_NE(handle, nullptr);
  std::uint8_t descriptor[kDeviceDescriptorSize];
  EXPECT_EQ(ReadDeviceDescriptor(handle, descriptor), 0u);
  EXPECT_EQ(ReadDeviceDescriptor(nullptr, descriptor), NO_DEVICE_RESULT);
  EXPECT_EQ(open(name.substr(0, name.size() - 2) + "x}", &output), nullptr);
  pens->UnplugPen();
  EXPECT_EQ(open(name, &output), nullptr);
}

TEST_F(Channel, AnInterfaceThatCannotBeOpenedIsNamedInPlaceOfTheLastOne) {
  pens->PlugPen();
  std::string output;
  handle = Open(&output);
  const std::string name = pens->PlugUnopenablePen();
  EXPECT_EQ(CountPenDevices(), 2);
  pens->UnplugPen();
  EXPECT_EQ(CountPenDevices(), 1);
  EXPECT_EQ(Open(&output), nullptr);
  EXPECT_EQ(output, "Symbolic link is " + name + "\n");
  EXPECT_EQ(openedPath, name);
}

TEST_F(Channel, ArrivalAndRemovalReachTheWindowWithTheInterfaceName) {
  EXPECT_EQ(RegisterPenInterfaceNotifications(nullptr), nullptr);
  HWND window = pens->NotificationWindow();
  if (window == nullptr) GTEST_SKIP() << "these pens do not announce themselves";
  HDEVNOTIFY registration = RegisterPenInterfaceNotifications(window);
  ASSERT_NE(registration, nullptr);
  const std::string name = pens->PlugPen();
  pens->UnplugPen();
  ASSERT_EQ(pens->DeviceChanges().size(), 2u);
  UnregisterPenInterfaceNotifications(registration);
  pens->PlugUnopenablePen();

  const auto changes = pens->DeviceChanges();
  ASSERT_EQ(changes.size(), 2u);  // none after unregistering
  EXPECT_EQ(changes[0].type, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
  EXPECT_EQ(changes[1].type, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
  for (const DeviceChange& change : changes) {
    EXPECT_EQ(change.deviceType, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_EQ(std::memcmp(&change.classGuid, &GUID_DEVINTERFACE_PEN, sizeof(GUID)), 0);
    EXPECT_EQ(change.name, name);
    EXPECT_EQ(change.size, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1);
  }
}

// What a replay needs, in the order it happened: the pen's plug with its interface,
// its descriptor, each message both ways, and the restart.
TEST_F(Channel, RecordsItsTrafficWhenAsked) {
  const std::string path = ::testing::TempDir() + "channel_traffic.jsonl";
  ASSERT_TRUE(RecordPenTraffic(path.c_str()));
  const std::string name = pens->PlugPen();
  std::string output;
  handle = Open(&output);
  ASSERT_NE(handle, nullptr);
  std::uint8_t descriptor[kDeviceDescriptorSize];
  ASSERT_EQ(ReadDeviceDescriptor(handle, descriptor), 0u);
  const Bytes request = pens->Request();
  ASSERT_EQ(Send(handle, request), 0u);
  pens->WaitUntilAnswered();
  const Read answer = Receive(handle);  // the fixture's own view of the answer may rely on the bus's record
  ASSERT_EQ(answer.result, 0u);
  ASSERT_EQ(SendRestartCommand(handle), 0u);

  const std::string pen = name.substr(name.find('#', name.find('#') + 1) + 1,
                                      name.rfind('#') - name.find('#', name.find('#') + 1) - 1);
  const std::string quoted = record::JsonString(pen);
  const std::vector<std::string> expected = {
      R"("event":"plug","pen":)" + quoted + R"(,"interface":)" + record::JsonString(name) + "}",
      R"("event":"descriptor","pen":)" + quoted + R"(,"hex":")" + record::Hex(descriptor, sizeof(descriptor)) + "\"}",
      R"("dir":"to_pen","pen":)" + quoted + R"(,"hex":")" + record::Hex(request.data(), request.size()) + "\"}",
      R"("dir":"from_pen","pen":)" + quoted + R"(,"hex":")" + record::Hex(answer.bytes.data(), answer.bytes.size()) + "\"}",
      R"("dir":"to_pen","pen":)" + quoted + R"(,"hex":"fb"})",
      R"("event":"restart","pen":)" + quoted + "}"};
  std::ifstream in(path);
  std::size_t found = 0;
  for (std::string line; std::getline(in, line) && found < expected.size();) {
    const auto comma = line.find(',');
    if (line.rfind("{\"t_ms\":", 0) == 0 && line.substr(comma + 1) == expected[found]) ++found;
  }
  EXPECT_EQ(found, expected.size()) << "missing: " << (found < expected.size() ? expected[found] : "");
}

// A pen plugged in and opened.
class OpenPen : public Channel {
 protected:
  void SetUp() override {
    Channel::SetUp();
    if (IsSkipped()) return;
    pens->PlugPen();
    std::string output;
    handle = Open(&output);
    ASSERT_NE(handle, nullptr);
  }

  // A ReadPenData on its own thread, as the receive thread issues it; returns
  // once the pen holds it waiting.
  std::future<Read> WaitingReceive() {
    auto read = std::async(std::launch::async, [h = handle] { return Receive(h); });
    EXPECT_TRUE(WaitUntil([this] { return pens->WaitingReceives() == 1; }));
    return read;
  }
  static Read Result(std::future<Read>& read) {  // of a WaitingReceive()
    EXPECT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    return read.get();
  }
};

TEST_F(OpenPen, TheDescriptorIsReadWholeOrNotAtAll) {
  std::uint8_t descriptor[kDeviceDescriptorSize];
  std::memset(descriptor, 0xEE, sizeof(descriptor));
  ASSERT_EQ(ReadDeviceDescriptor(handle, descriptor), 0u);
  EXPECT_EQ(Bytes(descriptor, descriptor + sizeof(descriptor)), pens->Descriptor());
  if (pens->ShortenDescriptor()) {
    EXPECT_NE(ReadDeviceDescriptor(handle, descriptor), 0u);
  }
}

TEST_F(OpenPen, SendsReachThePenAsOneMessageEachAndNoneWithoutAHandle) {
  EXPECT_EQ(SendRestartCommand(nullptr), NO_DEVICE_RESULT);
  EXPECT_EQ(Send(nullptr, pens->Request()), NO_DEVICE_RESULT);
  EXPECT_TRUE(pens->LastMessageToPen().empty());
  ASSERT_EQ(Send(handle, pens->Request()), 0u);
  EXPECT_EQ(pens->LastMessageToPen(), pens->Request());
  ASSERT_EQ(SendRestartCommand(handle), 0u);
  EXPECT_EQ(pens->LastMessageToPen(), Bytes{RESTART_BYTE});
}

// Both ways an answer meets its receive: already there, or a receive waiting for it.
enum class Order { AnswerFirst, ReceiveFirst };

class Answers : public OpenPen, public ::testing::WithParamInterface<Order> {
 protected:
  // Sends a request (`cut`: after making the answer empty) and receives the answer.
  Read Exchange(bool cut) {
    if (GetParam() == Order::AnswerFirst) {
      if (cut) pens->CutNextAnswer();
      EXPECT_EQ(Send(handle, pens->Request()), 0u);
      pens->WaitUntilAnswered();
      return Receive(handle);
    }
    auto waiting = WaitingReceive();
    // Other requests go through on the handle meanwhile.
    std::uint8_t descriptor[kDeviceDescriptorSize];
    EXPECT_EQ(ReadDeviceDescriptor(handle, descriptor), 0u);
    if (cut) pens->CutNextAnswer();
    EXPECT_EQ(Send(handle, pens->Request()), 0u);
    return Result(waiting);
  }
};

INSTANTIATE_TEST_SUITE_P(Channel, Answers, ::testing::Values(Order::AnswerFirst, Order::ReceiveFirst),
                         [](const auto& order) {
                           return order.param == Order::AnswerFirst ? "AnswerFirst" : "ReceiveFirst";
                         });

TEST_P(Answers, AReceiveGetsThePensAnswerAndAnEmptyAnswerFails) {
  const Read read = Exchange(false);
  EXPECT_EQ(read.result, 0u);
  EXPECT_EQ(read.bytes, pens->Answer());
  EXPECT_FALSE(read.bytes.empty());
  const Read empty = Exchange(true);
  EXPECT_NE(empty.result, 0u);
  EXPECT_NE(empty.result, kNotConnected);
  EXPECT_EQ(empty.received, 0u);
}

// The receive thread reads on until it sees the device watch has closed the pen:
// neither a packet nor the pen's removal may come of a closed handle.
TEST_F(OpenPen, ClosingTheHandleEndsAWaitingReceiveAndFailsTheNext) {
  auto waiting = WaitingReceive();
  ClosePenDriver(handle);
  const Read read = Result(waiting);
  EXPECT_EQ(read.result, kAborted);
  EXPECT_EQ(read.received, 0u);
  const Read next = Receive(handle);
  handle = nullptr;
  EXPECT_NE(next.result, 0u);
  EXPECT_NE(next.result, kNotConnected);
  EXPECT_EQ(next.received, 0u);
}

// A request the driver never completes ends at the limit with one code: cancelled
// then, or, when the driver cannot cancel it, abandoned to the driver the cancel's
// limit later. The handle serves the next request all the same, and the driver
// may still complete the abandoned one (here when the pen goes).
struct Hold {
  PenFixture::Held request;
  bool cancellable;
};

class HeldRequests : public OpenPen, public ::testing::WithParamInterface<Hold> {};

INSTANTIATE_TEST_SUITE_P(Channel, HeldRequests,
                         ::testing::Values(Hold{PenFixture::Held::Send, true}, Hold{PenFixture::Held::Send, false},
                                           Hold{PenFixture::Held::Descriptor, true},
                                           Hold{PenFixture::Held::Descriptor, false}),
                         [](const auto& hold) {
                           return std::string(hold.param.request == PenFixture::Held::Send ? "Send" : "Descriptor") +
                                  (hold.param.cancellable ? "Cancelled" : "Abandoned");
                         });

TEST_P(HeldRequests, EndAtTheLimitAndTheHandleServesTheNext) {
  afx::SetTimeScale(0.2);  // the cancel has 100 ms, ample for a driver's cancel routine under Wine
  const auto [request, cancellable] = GetParam();
  std::uint8_t descriptor[kDeviceDescriptorSize];
  const auto issue = [&, request = request] {
    return request == PenFixture::Held::Send ? Send(handle, pens->Request()) : ReadDeviceDescriptor(handle, descriptor);
  };
  const auto realMs = [](auto duration) { return std::chrono::duration<double, std::milli>(duration).count(); };
  pens->HoldNextRequest(request, cancellable);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(issue(), kRequestTimeoutResult);
  const double took = realMs(std::chrono::steady_clock::now() - start);
  EXPECT_GE(took, realMs(afx::Scaled(kRequestLimitMs + (cancellable ? 0 : kCancelLimitMs))));
  EXPECT_EQ(pens->HeldRequests(), cancellable ? 0u : 1u);
  EXPECT_TRUE(pens->LastMessageToPen().empty());

  std::memset(descriptor, 0xEE, sizeof(descriptor));
  ASSERT_EQ(issue(), 0u);
  if (request == PenFixture::Held::Send) {
    EXPECT_EQ(pens->LastMessageToPen(), pens->Request());
  } else {
    EXPECT_EQ(Bytes(descriptor, descriptor + sizeof(descriptor)), pens->Descriptor());
  }
  pens->UnplugPen();
  EXPECT_EQ(pens->HeldRequests(), 0u);
  EXPECT_EQ(issue(), kNotConnected);
}

TEST_F(OpenPen, AnUnpluggedPenFailsEveryOperationWith1167) {
  auto waiting = WaitingReceive();
  pens->UnplugPen();
  const Read read = Result(waiting);
  EXPECT_EQ(read.result, kNotConnected);
  EXPECT_EQ(read.received, 0u);
  std::uint8_t descriptor[kDeviceDescriptorSize];
  [[maybe_unused]] const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadDeviceDescriptor(handle, descriptor), kNotConnected);
  EXPECT_EQ(Send(handle, pens->Request()), kNotConnected);
  EXPECT_EQ(SendRestartCommand(handle), kNotConnected);
#ifdef _WIN32
  // Refused at once, each waits out the 1 s final wait (10 ms at this scale) before it returns.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
#endif
  EXPECT_EQ(Receive(handle).result, kNotConnected);
}

}  // namespace
}  // namespace channel_testing
