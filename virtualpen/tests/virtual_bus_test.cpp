// The bus: pens coming and going, interface names, notifications, shutdown.
#include "pen_test_support.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace virtualpen::testing {
namespace {

using VirtualBusBehaviour = PenTest;

struct Notification {
  DeviceEvent event;
  std::string name;
  std::thread::id thread;
};

class Listener {
 public:
  DeviceListener Callback() {
    return [this](DeviceEvent event, const std::string& name) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_heard.push_back({event, name, std::this_thread::get_id()});
    };
  }
  std::vector<Notification> Heard() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heard;
  }

 private:
  std::mutex m_mutex;
  std::vector<Notification> m_heard;
};

PenOptions Serial(const char* serial) {
  PenOptions options;
  options.serial = serial;
  return options;
}

TEST_F(VirtualBusBehaviour, CountsPluggedPensAndOpensTheFirstPlugged) {
  EXPECT_EQ(bus->Open(), nullptr);
  auto a = bus->PlugNewPen(Serial("A1"));
  auto b = bus->PlugNewPen(Serial("B2"));
  EXPECT_EQ(bus->PluggedCount(), 2);
  const auto names = bus->InterfaceNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "\\\\?\\USB#VID_1D50&PID_0204#A1#{a165badf-6e6a-4126-85c1-bfbe09014345}");
  std::string name;
  EXPECT_EQ(bus->Open(&name)->Pen(), a);
  EXPECT_EQ(name, names[0]);
  bus->Unplug(a);
  ASSERT_TRUE(bus->Plug(a));  // back, but now behind b
  EXPECT_EQ(bus->Open()->Pen(), b);
  // Two devices cannot publish one interface name.
  EXPECT_FALSE(bus->Plug(std::make_shared<VirtualPen>(Serial("A1"))));
  EXPECT_EQ(bus->PluggedCount(), 2);
}

TEST_F(VirtualBusBehaviour, NotifiesArrivalAndRemovalInOrderFromOneThread) {
  Listener listener;
  const auto id = bus->Subscribe(listener.Callback());
  auto a = bus->PlugNewPen(Serial("N1"));
  auto b = bus->PlugNewPen(Serial("N2"));
  bus->Unplug(a);
  link = bus->Open();
  Restart();  // b leaves and comes back
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  bus->Unsubscribe(id);
  bus->Unplug(b);
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));

  const auto heard = listener.Heard();
  const std::string nameA = a->InterfaceName(), nameB = b->InterfaceName();
  const std::vector<std::pair<DeviceEvent, std::string>> expected = {
      {DeviceEvent::Arrival, nameA}, {DeviceEvent::Arrival, nameB}, {DeviceEvent::Removal, nameA},
      {DeviceEvent::Removal, nameB}, {DeviceEvent::Arrival, nameB}};
  ASSERT_EQ(heard.size(), expected.size());  // nothing after unsubscribing
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(heard[i].event, expected[i].first) << i;
    EXPECT_EQ(heard[i].name, expected[i].second) << i;
    EXPECT_EQ(heard[i].thread, heard[0].thread);
  }
  EXPECT_NE(heard[0].thread, std::this_thread::get_id());
}

TEST_F(VirtualBusBehaviour, ListenersMayCallTheBus) {
  std::mutex mutex;
  std::vector<int> counts;
  const auto id = bus->Subscribe([&](DeviceEvent, const std::string&) {
    const int count = bus->PluggedCount();
    auto opened = bus->Open();  // as the device watch does on arrival
    std::lock_guard<std::mutex> lock(mutex);
    counts.push_back(count);
  });
  auto pen = bus->PlugNewPen();
  bus->Unplug(pen);
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  bus->Unsubscribe(id);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(counts.size(), 2u);
}

TEST_F(VirtualBusBehaviour, UnplugDuringARestartCancelsTheReturn) {
  auto pen = PlugAndOpen();
  pen->SetRestartDelay(100000000);  // would be 100 s of real time
  Restart();
  bus->Unplug(pen);
  EXPECT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_FALSE(pen->IsOnBus());
}

TEST_F(VirtualBusBehaviour, ShutsDownCleanlyWithPendingRestartsAndOpenLinks) {
  bus->Subscribe([](DeviceEvent, const std::string&) {});
  auto restarting = PlugAndOpen();
  restarting->SetRestartDelay(100000000);
  Restart();
  auto other = bus->PlugNewPen();
  auto otherLink = bus->Open();
  bus.reset();
  EXPECT_FALSE(other->IsOnBus());
  const Bytes request = ReadRequest(0x4000, 16);
  EXPECT_EQ(otherLink->Send(request.data(), request.size()), PenLink::Result::NotConnected);
  Bytes buffer(1060);
  std::size_t received = 0;
  EXPECT_EQ(otherLink->Receive(buffer.data(), buffer.size(), &received), PenLink::Result::NotConnected);
}

TEST_F(VirtualBusBehaviour, DestroyingTheBusDoesNotWaitForAListenerThatWaitsForIt) {
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
  };
  auto gate = std::make_shared<Gate>();
  bus->Subscribe([gate](DeviceEvent, const std::string&) {
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->entered = true;
    gate->changed.notify_all();
    gate->changed.wait(lock, [&] { return gate->released; });  // as a SendMessageA to our thread
  });
  bus->PlugNewPen();
  {
    std::unique_lock<std::mutex> lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, kPatience, [&] { return gate->entered; }));
  }
  bus.reset();
  std::lock_guard<std::mutex> lock(gate->mutex);
  gate->released = true;
  gate->changed.notify_all();
}

TEST_F(VirtualBusBehaviour, ResetInstanceGivesAFreshBus) {
  VirtualBus::ResetInstance();
  auto pen = VirtualBus::Instance()->PlugNewPen();
  auto oldLink = VirtualBus::Instance()->Open();
  VirtualBus::ResetInstance();
  EXPECT_EQ(VirtualBus::Instance()->PluggedCount(), 0);
  EXPECT_FALSE(pen->IsOnBus());
  const std::uint8_t debug = kDebugByte;
  EXPECT_EQ(oldLink->Send(&debug, 1), PenLink::Result::NotConnected);
  VirtualBus::ResetInstance();
}

}  // namespace
}  // namespace virtualpen::testing
