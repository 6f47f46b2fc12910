#pragma once
// The receive thread: reads every packet the open pen sends and routes it by
// its type word to the upgrader. One thread per opening of the pen.
#include <cstdint>
#include <memory>

#include "afx/afxmt.h"
#include "afx/thread.h"

class FirmwareUpgrader;
struct ReceiveContext;

// The record of a running receive thread (the device watch's `receiveThread`).
struct ReceiveThread {
  CWinThread* thread = nullptr;
  std::shared_ptr<ReceiveContext> context;  // shared with the thread, which may outlive the record
};

// Starts a thread that reads from `handle` until stopped or until the pen is
// gone, and dispatches to `upgrader`. Null when no thread can be made: the pen
// then stays open but silent, and an upgrade times out.
ReceiveThread* BeginReceiveThread(HANDLE handle, FirmwareUpgrader& upgrader);

// Marks the thread stopped. Once this returns, it dispatches no further packet.
void RequestStop(ReceiveThread& receiver);

// Waits up to `timeoutMs` for the thread to end, then frees the record; a thread
// still blocked in its read is abandoned (it frees its own part when the read returns).
void EndReceiveThread(ReceiveThread* receiver, DWORD timeoutMs);

// Receive threads whose function has not returned yet, abandoned ones included.
int RunningReceiveThreads();

// Routes one packet from the pen: flash-access responses to the upgrader, DFU-mode
// announcements to DfuModeAnnounced; text, unknown and short packets are ignored.
// Holds dispatchLock throughout; the upgrader takes its own lock inside it.
void DispatchPacket(FirmwareUpgrader& upgrader, const std::uint8_t* packet, std::uint32_t length);
