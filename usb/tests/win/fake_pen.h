#pragma once
// Test doubles for the pen under Wine: device interfaces of the pen's class in
// the prefix's device registry, and a kernel driver (fake_pen_driver.c) that
// answers the pen's control codes behind one of them.
#include <cstdint>
#include <string>
#include <vector>

#include "afx/win_types.h"

// Both need Wine: they write the device registry as Wine's Setup API keeps it and
// load an unsigned driver.
bool RunningUnderWine();

// Instance whose interface path the fake driver links to its device.
inline constexpr const char* kFakePenInstance = "ROOT\\NIBFLASH_FAKE_PEN\\0000";

// Private control codes of the fake driver.
inline constexpr DWORD IOCTL_FAKE_SET_DESCRIPTOR = 0x222000;  // input: the descriptor bytes (at most 18)
inline constexpr DWORD IOCTL_FAKE_UNPLUG = 0x222004;          // every request fails as after removal
inline constexpr DWORD IOCTL_FAKE_RESET = 0x222008;           // plugged in, nothing queued, default descriptor
inline constexpr DWORD IOCTL_FAKE_PENDING_RECEIVES = 0x22200C;  // output: count of waiting receives

// A present device element with one interface of the pen's class; removed again
// on destruction. Without the fake driver the interface's path names nothing.
class RegisteredPenInterface {
 public:
  explicit RegisteredPenInterface(const std::string& instanceId);
  RegisteredPenInterface(const RegisteredPenInterface&) = delete;
  RegisteredPenInterface& operator=(const RegisteredPenInterface&) = delete;
  ~RegisteredPenInterface();

  bool ok() const { return !m_devicePath.empty(); }
  const std::string& devicePath() const { return m_devicePath; }

 private:
  std::string m_instanceId;
  std::string m_devicePath;
};

// Removes every device element of the pen's class left by an earlier, broken run.
void RemoveAllPenDevices();

// The fake driver, installed as a kernel service from beside the test program and
// started; stopped and deleted on destruction.
class FakePenDriver {
 public:
  FakePenDriver();
  FakePenDriver(const FakePenDriver&) = delete;
  FakePenDriver& operator=(const FakePenDriver&) = delete;
  ~FakePenDriver();

  bool ok() const { return m_running; }
  const std::string& error() const { return m_error; }

 private:
  void Stop();
  void* m_manager = nullptr;
  void* m_service = nullptr;
  bool m_running = false;
  std::string m_error;
};

// Issues one private control request on an overlapped handle and waits for it.
DWORD FakePenControl(HANDLE handle, DWORD code, const std::vector<std::uint8_t>& input = {},
                     DWORD* output = nullptr);
