#pragma once
// The driver channel: the tool's only path to the pen. Free functions over a
// little process-wide state; no lock, never throws. One backend is linked in:
//   pen_channel_win.cpp      Setup API discovery, overlapped DeviceIoControl (shipped tool)
//   pen_channel_virtual.cpp  the virtual bus of virtualpen/ (native builds, tests, demos)
// Several threads call these at once on one handle: every transfer has its own
// request record and event for the duration of the call.
#include <atomic>
#include <cstdint>

#include "afx/win_types.h"

// Device-interface class of the pen's driver; also the device-change filter's class.
inline constexpr GUID GUID_DEVINTERFACE_PEN = {
    0xA165BADF, 0x6E6A, 0x4126, {0x85, 0xC1, 0xBF, 0xBE, 0x09, 0x01, 0x43, 0x45}};

// CTL_CODE(FILE_DEVICE_UNKNOWN 0x22, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
inline constexpr std::uint32_t IOCTL_PEN_GET_DEVICE_DESCRIPTOR = 0x220018;  // function 6: 18 bytes out
inline constexpr std::uint32_t IOCTL_PEN_RECEIVE = 0x22003C;                // function 15: up to 1060 bytes out
inline constexpr std::uint32_t IOCTL_PEN_SEND = 0x220048;                   // function 18: bytes in

inline constexpr std::uint8_t RESTART_BYTE = 0xFB;              // the whole input of a restart request
inline constexpr std::uint32_t NO_DEVICE_RESULT = 99;           // a send with no handle
inline constexpr std::uint32_t PEN_RECEIVE_BUFFER_SIZE = 1060;  // one receive transfer at most
inline constexpr std::uint32_t DEVICE_DESCRIPTOR_SIZE = 18;

// The open pen interface, or null. The device watch stores OpenPenDriver's result
// here and nulls it when it closes the pen (from the UI or the upgrade thread,
// hence atomic); the channel only reads it.
extern std::atomic<HANDLE> penHandle;

// Heap copy of the device path that OpenPenDriver last got as far as, or null.
// Replaced by every OpenPenDriver that reads the interface's detail record.
extern char* devicePath;

// Result codes: 0 success; otherwise a Win32 error, a completion status, or
// NO_DEVICE_RESULT. All calls are blocking; none has a time limit of its own.

// Number of present device elements of the pen's class. UI thread. Writes
// "No HDEVINFO available for this GUID\n" to stdout when the set cannot be had.
int CountPenDevices();

// Opens interface 0 of the class for overlapped I/O; null on failure (with the
// diagnostic lines on stdout). Replaces devicePath. UI thread.
HANDLE OpenPenDriver();

// Reads the 18-byte USB device descriptor of penHandle (never null here) into
// `descriptor`. UI thread.
std::uint32_t ReadDeviceDescriptor(std::uint8_t* descriptor);

// Sends RESTART_BYTE on penHandle; NO_DEVICE_RESULT when it is null. Upgrade thread.
std::uint32_t SendRestartCommand();

// Sends `count` bytes to the pen as one message; NO_DEVICE_RESULT for a null handle.
// Upgrade thread (requests) and UI thread (debug byte).
std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count);

// Waits for the next message from the pen (at most PEN_RECEIVE_BUFFER_SIZE bytes).
// 0 when at least one byte arrived; ERROR_DEVICE_NOT_CONNECTED once the pen is
// gone; another error when the handle was closed under it or nothing came.
// Receive thread; blocks until data, removal or close.
std::uint32_t ReadPenData(HANDLE handle, std::uint8_t* buffer, std::uint32_t* received);

// Closes a handle from OpenPenDriver; a waiting ReadPenData on it then completes
// with an error. Called exactly once per handle (the device watch serialises it).
void ClosePenDriver(HANDLE handle);

// Frees devicePath and sets it to null.
void ReleaseDevicePath();

// Asks for WM_DEVICECHANGE arrival and removal notifications of the pen's class
// to be sent to `window` (with a DEV_BROADCAST_DEVICEINTERFACE_A carrying the
// interface name). Returns null on failure. UI thread.
HDEVNOTIFY RegisterPenInterfaceNotifications(HWND window);
void UnregisterPenInterfaceNotifications(HDEVNOTIFY notification);
