// The conformance suite's pens under Wine (which keeps the device registry as
// written here and loads an unsigned driver): interfaces of the pen's class, and
// behind the openable one the echoing fake driver of fake_pen_driver.c.
#include "usb/tests/pen_fixture.h"

#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace channel_testing {
namespace {

// The fake driver's own control codes, CTL_CODE(0x22, 0x800 + n, METHOD_BUFFERED, 0).
constexpr DWORD IOCTL_FAKE_UNPLUG = 0x222004;
constexpr DWORD IOCTL_FAKE_RESET = 0x222008;  // input: the descriptor
constexpr DWORD IOCTL_FAKE_STATE = 0x22200C;  // output: FakePenState
constexpr DWORD IOCTL_FAKE_HOLD = 0x222010;   // input: ULONG of the driver's HOLD_* flags

// Keep in step with the driver's `state`.
struct FakePenState {
  ULONG pendingReceives;
  ULONG heldRequests;
  ULONG lastSentLength;
  std::uint8_t lastSent[kPenReceiveBufferSize];
};

const Bytes kDescriptor = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x34, 0x12, 0x04, 0x02, 0x18, 0x03, 1, 2, 0, 1};

// The driver links its device to the first instance's interface path; the second names nothing.
constexpr const char* kFakePenInstance = "ROOT\\NIBFLASH_FAKE_PEN\\0000";
constexpr const char* kUnopenableInstance = "ROOT\\NIBFLASH_UNOPENABLE_PEN\\0000";
constexpr const char* kFakePenLink = "\\\\?\\root#nibflash_fake_pen#0000#{a165badf-6e6a-4126-85c1-bfbe09014345}";
constexpr const char* kServiceName = "NibflashFakePen";

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine counts an interface as present once its Control\Linked is set, as when a driver enables it.
bool MarkLinked(const std::string& path) {
  const std::string key = "System\\CurrentControlSet\\Control\\DeviceClasses\\"
                          "{a165badf-6e6a-4126-85c1-bfbe09014345}\\##?#" + path.substr(4) + "\\#\\Control";
  const DWORD linked = 1;
  return RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Linked", REG_DWORD, &linked, sizeof(linked)) ==
         ERROR_SUCCESS;
}

// A present device with one interface of the pen's class; its path, or empty.
std::string RegisterInterface(const char* instanceId) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVINTERFACE_PEN, nullptr);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof(interfaceData);
  union {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
    char space[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH];
  } record{};
  record.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  std::string path;
  if (SetupDiCreateDeviceInfoA(set, instanceId, &GUID_DEVINTERFACE_PEN, nullptr, nullptr, 0, &device) &&
      SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
      SetupDiCreateDeviceInterfaceA(set, &device, &GUID_DEVINTERFACE_PEN, nullptr, 0, &interfaceData) &&
      SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, &record.detail, sizeof(record), nullptr, nullptr) &&
      MarkLinked(record.detail.DevicePath)) {
    path = record.detail.DevicePath;
  }
  SetupDiDestroyDeviceInfoList(set);
  return path;
}

// Removes the device with this instance, or every one the tests make (also of a run cut short).
void RemoveInterfaces(const char* instanceId = nullptr) {
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, "ROOT", nullptr, DIGCF_ALLCLASSES);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    char id[256] = {};  // above the system's limit on instance names
    SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof(id), nullptr);
    if (instanceId != nullptr ? _stricmp(id, instanceId) == 0 : _strnicmp(id, "ROOT\\NIBFLASH_", 14) == 0) {
      SetupDiRemoveDevice(set, &device);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
}

// The fake driver as a kernel service from beside the test program, started on
// first use, removed at exit.
class FakePenDriver {
 public:
  static bool Running() {
    static FakePenDriver driver;
    return driver.m_running;
  }

 private:
  FakePenDriver() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::strcpy(std::strrchr(path, '\\') + 1, "nibflash_fake_pen.sys");
    // A service left by a run that did not finish goes first.
    if (SC_HANDLE left = OpenServiceA(m_manager, kServiceName, SERVICE_ALL_ACCESS)) Remove(left);
    m_service = Create(path);
    m_running = StartServiceA(m_service, 0, nullptr) && WaitFor(m_service, SERVICE_RUNNING);
  }
  ~FakePenDriver() {
    Remove(m_service);
    CloseServiceHandle(m_manager);
  }
  // Wine hosts a driver in the device host of the creator's architecture. The
  // driver is the system's, x86_64 on 64-bit Windows: there an x86 test has the
  // system's own sc.exe create the service, as a 64-bit installer would.
  SC_HANDLE Create(const std::string& path) {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) {
      return CreateServiceA(m_manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                            SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr,
                            nullptr, nullptr);
    }
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string sc = std::string(windows) + "\\Sysnative\\sc.exe";
    std::string command = "sc.exe create " + std::string(kServiceName) +
                          " type= kernel start= demand error= ignore binPath= \"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessA(sc.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &process)) {
      WaitForSingleObject(process.hProcess, 60000);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    return OpenServiceA(m_manager, kServiceName, SERVICE_ALL_ACCESS);
  }
  static void Remove(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) WaitFor(service, SERVICE_STOPPED);
    DeleteService(service);
    CloseServiceHandle(service);
  }
  static bool WaitFor(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status{};
    return WaitUntil([&] { return QueryServiceStatus(service, &status) && status.dwCurrentState == state; });
  }

  SC_HANDLE m_manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE m_service = nullptr;
  bool m_running = false;
};

class FakePenFixture : public PenFixture {
 public:
  FakePenFixture() {
    if (!RunningUnderWine()) {
      [] { GTEST_SKIP() << "registers fake devices and loads a fake driver into Wine"; }();
      return;
    }
    RemoveInterfaces();
  }
  ~FakePenFixture() override {
    if (m_control != nullptr) CloseHandle(m_control);
    RemoveInterfaces();
  }

  std::string PlugPen() override {
    EXPECT_TRUE(FakePenDriver::Running());
    m_control = CreateFileA(kFakePenLink, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(m_control, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Control(IOCTL_FAKE_RESET, kDescriptor), 0u);
    return RegisterInterface(kFakePenInstance);
  }
  std::string PlugUnopenablePen() override { return RegisterInterface(kUnopenableInstance); }
  void UnplugPen() override {
    EXPECT_EQ(Control(IOCTL_FAKE_UNPLUG), 0u);
    RemoveInterfaces(kFakePenInstance);
  }

  Bytes Descriptor() override { return kDescriptor; }
  bool ShortenDescriptor() override {
    return Control(IOCTL_FAKE_RESET, Bytes(kDescriptor.begin(), kDescriptor.end() - 1)) == 0;
  }

  Bytes Request() override { return {0x01, 0x00, 0x10, 0x00, 0x04, 0x00, 0xAA, 0x55}; }
  Bytes Answer() override { return Request(); }
  void CutNextAnswer() override { EXPECT_EQ(Control(IOCTL_PEN_SEND), 0u); }  // an empty echo
  void WaitUntilAnswered() override {}  // the echo is queued before the send completes

  Bytes LastMessageToPen() override {
    const FakePenState state = State();
    return Bytes(state.lastSent, state.lastSent + state.lastSentLength);
  }
  std::size_t WaitingReceives() override { return State().pendingReceives; }
  void HoldNextRequest(Held request, bool cancellable) override {
    const ULONG flags = (request == Held::Send ? 1 : 2) | (cancellable ? 4 : 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&flags);
    EXPECT_EQ(Control(IOCTL_FAKE_HOLD, Bytes(bytes, bytes + sizeof(flags))), 0u);
  }
  std::size_t HeldRequests() override { return State().heldRequests; }

  HWND NotificationWindow() override { return nullptr; }  // the fake driver announces nothing
  std::vector<DeviceChange> DeviceChanges() override { return {}; }

 private:
  DWORD Control(DWORD code, const Bytes& input = {}, void* output = nullptr, DWORD outputSize = 0) {
    DWORD transferred = 0;
    return DeviceIoControl(m_control, code, const_cast<std::uint8_t*>(input.data()),
                           static_cast<DWORD>(input.size()), output, outputSize, &transferred, nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
  }
  FakePenState State() {
    FakePenState state{};
    EXPECT_EQ(Control(IOCTL_FAKE_STATE, {}, &state, sizeof(state)), 0u);
    return state;
  }

  HANDLE m_control = nullptr;
};

}  // namespace

std::unique_ptr<PenFixture> PenFixture::Make() { return std::make_unique<FakePenFixture>(); }

}  // namespace channel_testing
