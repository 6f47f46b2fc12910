#pragma once
// Stands in for the tool's device watch around one FirmwareUpgrader, over the
// virtual channel, for the engine's end-to-end tests, benchmark and demo. It
// does what the upgrader relies on and nothing more:
//   - opens the pen when exactly one device is present and it reports the
//     supported product, writing the handle into penHandle and driverHandle;
//   - runs one receive loop per opening that dispatches packets by type
//     (flash responses to DeliverResponse, DFU announcements to dfuModeSignal);
//   - subscribes to the bus's arrival and removal notifications: an arrival
//     reopens the pen and sets restartedSignal, the open pen's removal closes it;
//   - defines RestartPen and ReportProgress for Upgrade.
// One harness at a time per process (the two callbacks reach it through a global).
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "afx/win_types.h"
#include "engine/firmware_upgrader.h"

class DeviceWatchHarness {
 public:
  // Subscribes to VirtualBus::Instance() and opens the pen if one is there.
  explicit DeviceWatchHarness(FirmwareUpgrader& upgrader);
  // Unsubscribes, stops the receive loop and closes the pen.
  ~DeviceWatchHarness();
  DeviceWatchHarness(const DeviceWatchHarness&) = delete;
  DeviceWatchHarness& operator=(const DeviceWatchHarness&) = delete;

  bool IsOpen() const;
  int Openings() const { return m_openings.load(); }
  // Progress as the dialog would show it, in thousandths.
  int ProgressPermille() const { return m_permille.load(); }
  // True once a report within a run showed less than an earlier one.
  bool ProgressWentBack() const { return m_progressWentBack.load(); }

  // The two callbacks of Upgrade (upgrade thread).
  void RestartPen();
  void ReportProgress(std::int32_t done, std::int32_t total);

 private:
  void OnArrival(const std::string& interfaceName);
  void OnRemoval(const std::string& interfaceName);
  // With m_watchMutex held.
  void OpenAndCheckLocked(const std::string& interfaceName, bool signalRestart);
  void StopReceivingLocked();
  void ClosePenLocked();

  void ReceiveLoop(HANDLE handle);
  void DispatchPacket(const std::uint8_t* packet, std::uint32_t length);

  FirmwareUpgrader& m_upgrader;
  // Open, close and the receive loop's stop come from the bus's event thread and
  // the upgrade thread; this serialises them so that a handle is closed once.
  mutable std::mutex m_watchMutex;
  std::string m_openName;
  std::thread m_receiveThread;
  std::atomic<bool> m_stopReceiving{false};
  std::mutex m_dispatchMutex;  // one packet at a time; taken before upgraderLock
  std::uint64_t m_subscription = 0;
  std::atomic<int> m_openings{0};
  std::atomic<int> m_permille{0};
  std::atomic<bool> m_progressWentBack{false};
};
