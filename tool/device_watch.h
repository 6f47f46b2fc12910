#pragma once
// The device watch's operations that both the UI thread and the upgrade thread
// call. They are serialised, so a handle is closed and a name released once.

// Closes the open pen: releases devicePath and penDeviceName, nulls penHandle and
// the upgrader's driverHandle, and forgets a DFU-mode announcement of that opening.
void ClosePenDevice();

// Starts a receive thread for the open pen, unless one is running. UI thread.
void StartReceiveThread();

// Stops the receive thread (closing the pen) and waits up to 500 ms for it; one
// that does not end in time is abandoned and never dispatches another packet.
void StopReceiveThread();
