#include "engine/testing/device_watch_harness.h"

#include <algorithm>
#include <cctype>

#include "afx/time_scale.h"
#include "engine/pen_packet.h"
#include "usb/pen_channel.h"
#include "virtualpen/virtual_bus.h"

namespace {

constexpr std::uint16_t kSupportedProductId = 0x0204;
std::atomic<DeviceWatchHarness*> activeHarness{nullptr};

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void RestartPen() {
  if (DeviceWatchHarness* harness = activeHarness.load()) harness->RestartPen();
}

void ReportProgress(std::int32_t done, std::int32_t total) {
  if (DeviceWatchHarness* harness = activeHarness.load()) harness->ReportProgress(done, total);
}

DeviceWatchHarness::DeviceWatchHarness(FirmwareUpgrader& upgrader) : m_upgrader(upgrader) {
  activeHarness.store(this);
  m_subscription = virtualpen::VirtualBus::Instance()->Subscribe(
      [this](virtualpen::DeviceEvent event, const std::string& interfaceName) {
        if (event == virtualpen::DeviceEvent::Arrival) {
          OnArrival(interfaceName);
        } else {
          OnRemoval(interfaceName);
        }
      });
  std::lock_guard<std::mutex> guard(m_watchMutex);
  OpenAndCheckLocked("", false);
}

DeviceWatchHarness::~DeviceWatchHarness() {
  virtualpen::VirtualBus::Instance()->Unsubscribe(m_subscription);
  {
    std::lock_guard<std::mutex> guard(m_watchMutex);
    StopReceivingLocked();
    ClosePenLocked();
  }
  activeHarness.store(nullptr);
}

bool DeviceWatchHarness::IsOpen() const {
  std::lock_guard<std::mutex> guard(m_watchMutex);
  return penHandle.load() != nullptr;
}

void DeviceWatchHarness::OnArrival(const std::string& interfaceName) {
  std::lock_guard<std::mutex> guard(m_watchMutex);
  if (penHandle.load() != nullptr) return;  // a second pen while one is open
  OpenAndCheckLocked(interfaceName, true);
}

void DeviceWatchHarness::OnRemoval(const std::string& interfaceName) {
  std::lock_guard<std::mutex> guard(m_watchMutex);
  if (penHandle.load() == nullptr || !SameNameIgnoringCase(interfaceName, m_openName)) return;
  StopReceivingLocked();
  ClosePenLocked();
}

void DeviceWatchHarness::OpenAndCheckLocked(const std::string& interfaceName, bool signalRestart) {
  StopReceivingLocked();  // a loop that ended by itself when its pen went away
  if (CountPenDevices() != 1) return;
  const HANDLE handle = OpenPenDriver();
  penHandle = handle;
  m_upgrader.driverHandle = handle;
  if (handle == nullptr) return;

  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE] = {};
  const bool supported = ReadDeviceDescriptor(descriptor) == 0 &&
                         (descriptor[10] | descriptor[11] << 8) == kSupportedProductId;
  if (!supported) {
    ClosePenLocked();
    return;
  }
  m_openName = interfaceName.empty() && devicePath != nullptr ? std::string(devicePath) : interfaceName;
  m_stopReceiving = false;
  m_receiveThread = std::thread(&DeviceWatchHarness::ReceiveLoop, this, handle);
  ++m_openings;
  if (signalRestart) m_upgrader.restartedSignal.SetEvent();
}

void DeviceWatchHarness::StopReceivingLocked() {
  if (!m_receiveThread.joinable()) return;
  m_stopReceiving = true;
  ClosePenLocked();  // ends the blocked read at once
  m_receiveThread.join();
}

void DeviceWatchHarness::ClosePenLocked() {
  ReleaseDevicePath();
  if (const HANDLE handle = penHandle.load()) ClosePenDriver(handle);
  penHandle = nullptr;
  m_upgrader.driverHandle = nullptr;
  m_openName.clear();
}

void DeviceWatchHarness::RestartPen() {
  std::lock_guard<std::mutex> guard(m_watchMutex);
  SendRestartCommand();
  StopReceivingLocked();
  ClosePenLocked();
}

void DeviceWatchHarness::ReportProgress(std::int32_t done, std::int32_t total) {
  const int permille = std::clamp(done * 1000 / total, 0, 1000);
  const int before = m_permille.exchange(permille);
  if (permille < before && done != 0) m_progressWentBack = true;  // done 0: a new run starts
}

void DeviceWatchHarness::ReceiveLoop(HANDLE handle) {
  std::uint8_t buffer[PEN_RECEIVE_BUFFER_SIZE];
  while (!m_stopReceiving) {
    std::uint32_t received = 0;
    const std::uint32_t result = ReadPenData(handle, buffer, &received);
    if (result == 0) {
      DispatchPacket(buffer, received);
    } else if (result == ERROR_DEVICE_NOT_CONNECTED) {
      return;
    } else if (!m_stopReceiving) {  // the tool always pauses; a stop need not wait for it here
      afx::Sleep(10);
    }
  }
}

void DeviceWatchHarness::DispatchPacket(const std::uint8_t* packet, std::uint32_t length) {
  std::lock_guard<std::mutex> guard(m_dispatchMutex);
  if (length < PACKET_HEADER_SIZE) return;
  switch (PacketType(packet)) {
    case PACKET_FLASH_RESPONSE:
      m_upgrader.DeliverResponse(packet + PACKET_HEADER_SIZE, length - PACKET_HEADER_SIZE);
      break;
    case PACKET_DFU_MODE: {
      CSingleLock lock(&m_upgrader.upgraderLock, TRUE);
      m_upgrader.dfuModeSignal.SetEvent();
      break;
    }
    default:
      break;
  }
}
