// The bus: pens coming and going under their interface names, the notifications,
// taking the bus down, and its traffic record (the channel's conformance test
// checks the lines of packets).
#include "pen_test_support.h"

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>
#include <tuple>

namespace virtualpen::testing {
namespace {

using VirtualBusBehaviour = PenTest;

PenOptions Serial(const char* serial) {
  PenOptions options;
  options.serial = serial;
  return options;
}

TEST_F(VirtualBusBehaviour, OpensTheFirstPluggedPenAndRefusesADuplicateName) {
  EXPECT_EQ(bus->Open(), nullptr);
  auto a = bus->PlugNewPen(Serial("A1"));
  auto b = bus->PlugNewPen(Serial("B2"));
  std::string name;
  EXPECT_EQ(bus->Open(&name)->Pen(), a);
  EXPECT_EQ(name, "\\\\?\\USB#VID_1D50&PID_0204#A1#{a165badf-6e6a-4126-85c1-bfbe09014345}");
  EXPECT_EQ(bus->InterfaceNames(), (std::vector<std::string>{name, b->InterfaceName()}));
  bus->Unplug(a);
  ASSERT_TRUE(bus->Plug(a));  // back, now behind b
  EXPECT_EQ(bus->Open()->Pen(), b);
  EXPECT_FALSE(bus->Plug(std::make_shared<VirtualPen>(Serial("A1"))));
  EXPECT_EQ(bus->PluggedCount(), 2);
  b->SetOpenRefused(true);
  EXPECT_EQ(bus->Open(), nullptr);
}

TEST_F(VirtualBusBehaviour, NotifiesInOrderFromOneThreadThatMayCallTheBus) {
  std::mutex mutex;
  std::vector<std::tuple<DeviceEvent, std::string, std::thread::id>> heard;
  const auto id = bus->Subscribe([&](DeviceEvent event, const std::string& name) {
    bus->Open();  // as the device watch does on an arrival
    std::lock_guard<std::mutex> lock(mutex);
    heard.emplace_back(event, name, std::this_thread::get_id());
  });
  auto a = bus->PlugNewPen(Serial("N1"));
  auto b = bus->PlugNewPen(Serial("N2"));
  bus->Unplug(a);
  link = bus->Open();
  Restart();  // b leaves and comes back
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  bus->Unsubscribe(id);
  bus->Unplug(b);
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));

  const auto arrival = DeviceEvent::Arrival, removal = DeviceEvent::Removal;
  const std::vector<std::pair<DeviceEvent, std::string>> expected = {
      {arrival, a->InterfaceName()}, {arrival, b->InterfaceName()}, {removal, a->InterfaceName()},
      {removal, b->InterfaceName()}, {arrival, b->InterfaceName()}};
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(heard.size(), expected.size());  // nothing after unsubscribing
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(std::make_pair(std::get<0>(heard[i]), std::get<1>(heard[i])), expected[i]) << i;
    EXPECT_EQ(std::get<2>(heard[i]), std::get<2>(heard[0]));
  }
  EXPECT_NE(std::get<2>(heard[0]), std::this_thread::get_id());
}

// A listener may be waiting for the thread that destroys the bus (a SendMessage
// to its window): the bus must go without waiting for it.
TEST_F(VirtualBusBehaviour, GoingAwayTakesEveryPenOffWithoutWaitingForAListener) {
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false;
  };
  auto gate = std::make_shared<Gate>();
  bus->Subscribe([gate](DeviceEvent, const std::string&) {
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->entered = true;
    gate->changed.notify_all();
    gate->changed.wait(lock, [&] { return gate->released; });
  });
  auto restarting = PlugAndOpen();
  restarting->SetRestartDelay(100000000);
  Restart();
  auto other = bus->PlugNewPen();
  auto otherLink = bus->Open();
  {
    std::unique_lock<std::mutex> lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, kPatience, [&] { return gate->entered; }));
  }
  bus.reset();
  EXPECT_FALSE(other->IsOnBus());
  EXPECT_EQ(otherLink->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::NotConnected);
  Bytes buffer(1060);
  std::size_t received = 0;
  EXPECT_EQ(otherLink->Receive(buffer.data(), buffer.size(), &received), PenLink::Result::NotConnected);
  std::lock_guard<std::mutex> lock(gate->mutex);
  gate->released = true;
  gate->changed.notify_all();
}

// A restart is recorded as such and as the pen leaving and coming back; time
// stamps in milliseconds never go back; nothing is recorded once stopped.
TEST_F(VirtualBusBehaviour, RecordsBusEventsInOrderUntilStopped) {
  auto out = std::make_shared<std::stringstream>();
  bus->StartRecord(out);
  auto pen = PlugAndOpen(Serial("REC1"));
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  bus->StopRecord();
  bus->Unplug(pen);
  std::vector<std::string> events;
  double last = 0;
  for (std::string line; std::getline(*out, line);) {
    ASSERT_EQ(line.rfind("{\"t_ms\":", 0), 0u) << line;
    EXPECT_GE(std::stod(line.substr(8)), last) << line;
    last = std::stod(line.substr(8));
    const auto event = line.find(R"("event":")");
    if (event != std::string::npos) events.push_back(line.substr(event + 9, line.find('"', event + 9) - event - 9));
  }
  EXPECT_EQ(events, (std::vector<std::string>{"plug", "restart", "unplug", "plug"})) << out->str();
}

}  // namespace
}  // namespace virtualpen::testing
