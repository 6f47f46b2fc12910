#pragma once
// What the channel's virtual backend (pen_channel_virtual.cpp, usb/pen_channel.h
// over the virtual bus) offers beyond the channel: the notification it sends.
#include <string>

#include "afx/win_types.h"

// Sends `window` WM_DEVICECHANGE with `type` (DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE) for an interface of the pen's class named `name`,
// as the system sends it, and returns once the window has handled it; nothing
// when the broadcast cannot be built, as the system drops it.
void SendPenInterfaceChange(HWND window, WPARAM type, const std::string& name);
