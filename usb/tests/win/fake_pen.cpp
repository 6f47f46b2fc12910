#include "usb/tests/win/fake_pen.h"

#include <setupapi.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "usb/pen_channel.h"

namespace {

constexpr const char* kServiceName = "NibflashFakePen";

std::string ClassKeyName() {
  const GUID& g = GUID_DEVINTERFACE_PEN;
  char text[40];
  std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return std::string("System\\CurrentControlSet\\Control\\DeviceClasses\\") + text;
}

// Wine counts an interface as present once its Control\Linked value is set, as
// the system does when a driver enables the interface.
bool MarkLinked(const std::string& devicePath) {
  if (devicePath.compare(0, 4, "\\\\?\\") != 0) return false;
  const std::string key = ClassKeyName() + "\\##?#" + devicePath.substr(4) + "\\#\\Control";
  HKEY control = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &control, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD linked = 1;
  const LONG result = RegSetValueExA(control, "Linked", 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&linked), sizeof(linked));
  RegCloseKey(control);
  return result == ERROR_SUCCESS;
}

// Removes the registered elements of the pen's class whose instance matches
// (every one when `instanceId` is empty).
void RemovePenDevices(const std::string& instanceId) {
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_PEN, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    char id[256] = {};  // above the system's limit on instance names
    SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof(id), nullptr);
    if (instanceId.empty() || _stricmp(id, instanceId.c_str()) == 0) {
      SetupDiRemoveDevice(set, &device);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
}

bool WaitForServiceState(SC_HANDLE service, DWORD state) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  SERVICE_STATUS status{};
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != state) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status.dwCurrentState == state;
}

std::string DriverPath() {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string path(module);
  path.erase(path.find_last_of("\\/") + 1);
  return path + "nibflash_fake_pen.sys";
}

std::string ErrorText(const char* what) {
  return std::string(what) + " failed with " + std::to_string(GetLastError());
}

}  // namespace

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

RegisteredPenInterface::RegisteredPenInterface(const std::string& instanceId)
    : m_instanceId(instanceId) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVINTERFACE_PEN, nullptr);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof(interfaceData);
  union {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
    char space[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH];
  } record{};
  record.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (SetupDiCreateDeviceInfoA(set, instanceId.c_str(), &GUID_DEVINTERFACE_PEN, nullptr, nullptr, 0,
                               &device) &&
      SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
      SetupDiCreateDeviceInterfaceA(set, &device, &GUID_DEVINTERFACE_PEN, nullptr, 0,
                                    &interfaceData) &&
      SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, &record.detail, sizeof(record), nullptr,
                                       nullptr) &&
      MarkLinked(record.detail.DevicePath)) {
    m_devicePath = record.detail.DevicePath;
  }
  SetupDiDestroyDeviceInfoList(set);
}

RegisteredPenInterface::~RegisteredPenInterface() { RemovePenDevices(m_instanceId); }

void RemoveAllPenDevices() { RemovePenDevices(""); }

FakePenDriver::FakePenDriver() {
  const std::string path = DriverPath();
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  m_manager = manager;
  if (manager == nullptr) {
    m_error = ErrorText("OpenSCManager");
    return;
  }
  SC_HANDLE service = CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                     SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
  if (service == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
    // Left by a run that did not finish: restart it from this build's driver.
    service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    m_service = service;
    if (service != nullptr) {
      Stop();
      ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                           path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
  }
  m_service = service;
  if (service == nullptr) {
    m_error = ErrorText("CreateService");
    return;
  }
  if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    m_error = ErrorText("StartService");
    return;
  }
  m_running = WaitForServiceState(service, SERVICE_RUNNING);
  if (!m_running) m_error = "the fake driver did not start";
}

void FakePenDriver::Stop() {
  SERVICE_STATUS status{};
  if (ControlService(static_cast<SC_HANDLE>(m_service), SERVICE_CONTROL_STOP, &status)) {
    WaitForServiceState(static_cast<SC_HANDLE>(m_service), SERVICE_STOPPED);
  }
}

FakePenDriver::~FakePenDriver() {
  if (m_service != nullptr) {
    Stop();
    DeleteService(static_cast<SC_HANDLE>(m_service));
    CloseServiceHandle(static_cast<SC_HANDLE>(m_service));
  }
  if (m_manager != nullptr) CloseServiceHandle(static_cast<SC_HANDLE>(m_manager));
}

DWORD FakePenControl(HANDLE handle, DWORD code, const std::vector<std::uint8_t>& input,
                     DWORD* output) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD transferred = 0;
  DWORD result = ERROR_SUCCESS;
  if (!DeviceIoControl(handle, code, const_cast<std::uint8_t*>(input.data()),
                       static_cast<DWORD>(input.size()), output, output ? sizeof(*output) : 0,
                       &transferred, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    result = GetLastError();
  } else if (!GetOverlappedResult(handle, &overlapped, &transferred, TRUE)) {
    result = GetLastError();
  }
  CloseHandle(overlapped.hEvent);
  return result;
}
