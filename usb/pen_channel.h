#pragma once
// The driver channel: the tool's only path to the pen. Free functions over a
// little process-wide state (pen_channel_shared.cpp); they take no lock and never
// throw. One backend is linked in, as libusb links one OS backend:
//   usb/pen_channel_win.cpp             Setup API discovery, overlapped DeviceIoControl (shipped tool)
//   virtualpen/pen_channel_virtual.cpp  the virtual bus, beside it (native builds, tests, demos)
// Both give the same results in the same situations; usb/tests holds the one
// conformance suite that both run.
//
// Threads: the UI thread (discovery, descriptor, notifications, debug byte), the
// upgrade thread (sends, restart) and the receive thread (receives) use one handle
// at once. Every transfer has its own request record and event for the duration
// of the call, so a waiting receive does not hold up the other requests.
#include <cstdint>
#include <string>

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
inline constexpr std::uint32_t kPenReceiveBufferSize = 1060;  // one receive transfer at most
inline constexpr std::uint32_t kDeviceDescriptorSize = 18;

// A descriptor, restart or send request that the driver has not completed within
// kRequestLimitMs is cancelled; one that it has not completed kCancelLimitMs
// after the cancel either is abandoned to the driver, which keeps its record and
// buffers for good. Either way the request returns kRequestTimeoutResult: a driver
// that never completes one must not hold the upgrade thread or freeze the dialog.
// Product milliseconds (afx/time_scale.h).
inline constexpr std::uint32_t kRequestLimitMs = 2000;
inline constexpr std::uint32_t kCancelLimitMs = 500;
inline constexpr std::uint32_t kRequestTimeoutResult = ERROR_TIMEOUT;  // 1460

// Result codes: 0 success; otherwise a Win32 error code (the Win32 backend may
// also pass on an informational completion status), NO_DEVICE_RESULT, or
// kRequestTimeoutResult. The receive has no time limit: the receive thread waits
// for the pen by design. Waits for the pen's answers belong to the callers.

// Counts the present device elements of the pen's class.
// Return: 0 or more; 0 with "No HDEVINFO available for this GUID\n" on stdout
//   when the set of devices cannot be had.
// Blocks: briefly, never on the pen. Threads: UI thread.
int CountPenDevices();

// Opens the first interface of the class for overlapped I/O. Once the interface's
// path is known, writes "Symbolic link is <path>\n" and stores the path in
// `interfacePath`, also when the open then fails (empty when there is none).
// Return: a handle for ClosePenDriver, or null: with no interface, after
//   "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n"; with an
//   interface that cannot be opened, after the symbolic-link line.
// Blocks: briefly. Threads: UI thread.
HANDLE OpenPenDriver(std::string& interfacePath);

// Opens the interface at `interfacePath` (as an arrival names it; letter case
// does not matter) for overlapped I/O, after "Symbolic link is <path>\n".
// Return: a handle for ClosePenDriver, or null when no present interface of the
//   class has that path or it cannot be opened.
// Blocks: briefly. Threads: UI thread.
HANDLE OpenPenInterface(const std::string& interfacePath);

// Reads the pen's 18-byte USB device descriptor on `handle`.
// Return: NO_DEVICE_RESULT for a null handle; 0 with all 18 bytes written;
//   ERROR_DEVICE_NOT_CONNECTED once the pen is gone; kRequestTimeoutResult when
//   the driver held the request past its limit; another error (also for a
//   shorter answer) otherwise. The buffer is written only on success.
// Blocks: until the driver completes the request, at most kRequestLimitMs, or
//   kRequestLimitMs + kCancelLimitMs when the driver does not honour the cancel;
//   an immediate refusal (Win32) returns only after waiting up to 1 s for the
//   request's event.
// Threads: UI thread.
std::uint32_t ReadDeviceDescriptor(HANDLE handle, std::uint8_t* descriptor);

// Sends RESTART_BYTE on `handle` as one message.
// Return: NO_DEVICE_RESULT for a null handle (no request is made); otherwise
//   as WritePenData.
// Blocks, threads: as WritePenData; called by the upgrade thread.
std::uint32_t SendRestartCommand(HANDLE handle);

// Sends `count` bytes to the pen as one message.
// Return: NO_DEVICE_RESULT for a null handle (no request is made); 0 once the
//   driver took the message; ERROR_DEVICE_NOT_CONNECTED once the pen is gone;
//   kRequestTimeoutResult when the driver held the request past its limit (the
//   message may never reach the pen); another error otherwise.
// Blocks: until the driver completes the request (not until the pen answers), at
//   most kRequestLimitMs, or kRequestLimitMs + kCancelLimitMs when the driver
//   does not honour the cancel; an immediate refusal (Win32) returns only after
//   waiting up to 1 s.
// Threads: upgrade thread (requests), UI thread (debug byte), at once.
std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count);

// Waits for the next message from the pen, at most kPenReceiveBufferSize bytes.
// Return: 0 with *received > 0; otherwise *received is 0 and the result is
//   ERROR_DEVICE_NOT_CONNECTED once the pen is gone, ERROR_OPERATION_ABORTED when
//   ClosePenDriver closed the handle under the wait, and another error for a
//   message of zero bytes or a handle that is not open (never 0 or
//   ERROR_DEVICE_NOT_CONNECTED for those: the receive thread would take them for
//   a packet or for the pen's departure). A refusal returns at once.
// Blocks: until a message, the pen's removal or the handle's close.
// Threads: receive thread, while the other threads send on the same handle.
std::uint32_t ReadPenData(HANDLE handle, std::uint8_t* buffer, std::uint32_t* received);

// Closes a handle from OpenPenDriver or OpenPenInterface (null is ignored); a
// ReadPenData waiting on it then returns ERROR_OPERATION_ABORTED. Once per
// handle: the device watch serialises it. Blocks: no. Threads: UI or upgrade thread.
void ClosePenDriver(HANDLE handle);

// Asks for WM_DEVICECHANGE arrival and removal notifications of the pen's class
// to be sent to `window`, with a DEV_BROADCAST_DEVICEINTERFACE_A that carries the
// interface name. They are sent (SendMessageA) from another thread, so the
// window's thread must run its message loop.
// Return: a registration for UnregisterPenInterfaceNotifications; null on failure
//   (always for a null window). Blocks: no. Threads: UI thread.
HDEVNOTIFY RegisterPenInterfaceNotifications(HWND window);

// Ends a registration (null is ignored); no notification is sent to the window
// after it returns, except one already being delivered. Threads: UI thread.
void UnregisterPenInterfaceNotifications(HDEVNOTIFY notification);

// Writes the channel's traffic from now on to the file at `path` as JSON Lines
// (record/traffic_record.h): every message sent, every message received, every
// descriptor read, restarts, and the pen's arrivals and removals (plug, unplug)
// as RecordPenInterfaceChange hears of them; a pen present before is a plug when
// it is opened. Return: false when the file cannot be made.
// Blocks: no. Threads: UI thread, before the window registers for notifications.
bool RecordPenTraffic(const char* path);

// The device watch passes on every arrival and removal of the pen's class that
// it is sent, before it acts on it, for the record: a plug or an unplug line.
// Nothing without a record, and nothing on the virtual bus, which records its
// own. Blocks: no. Threads: UI thread.
void RecordPenInterfaceChange(bool arrival, const std::string& interfacePath);

// Where the traffic record was going when one of its lines could not be written
// (it ends at the line before; the channel carries on); empty while every line
// was, and without a record. Blocks: no. Threads: any.
std::string IncompleteTrafficRecord();

// Says why an upgrade failed: "Upgrade failed: <reason>\n" on stdout, beside the
// symbolic-link lines, and a failure line in the traffic record when one is kept.
// Blocks: no. Threads: UI thread.
void ReportUpgradeFailure(const char* reason);
