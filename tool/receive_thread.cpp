#include "tool/receive_thread.h"

#include <atomic>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/pen_packet.h"
#include "usb/pen_channel.h"

struct ReceiveContext {
  HANDLE handle = nullptr;  // the opening this thread serves
  FirmwareUpgrader* upgrader = nullptr;
  std::atomic<bool> stopReceiving{false};
};

namespace {

// One packet at a time; taken before upgraderLock. A stop request takes it too,
// so that a dispatch under way finishes first and every later one sees the stop.
CMutex dispatchLock;

std::atomic<int> runningThreads{0};

void DispatchLocked(FirmwareUpgrader& upgrader, const std::uint8_t* packet, std::uint32_t length)
    REQUIRES(dispatchLock) {
  if (length < kPacketHeaderSize) return;
  const std::uint16_t type = PacketType(packet);
  if (type == PACKET_FLASH_RESPONSE) {
    upgrader.DeliverResponse(packet + kPacketHeaderSize, length - kPacketHeaderSize);
  } else if (type == PACKET_DFU_MODE) {
    upgrader.DfuModeAnnounced();
  }
}

UINT ReceiveThreadProc(void* parameter) {
  std::unique_ptr<std::shared_ptr<ReceiveContext>> owned(static_cast<std::shared_ptr<ReceiveContext>*>(parameter));
  const std::shared_ptr<ReceiveContext> self = *owned;
  std::uint8_t buffer[kPenReceiveBufferSize];
  while (!self->stopReceiving) {
    std::uint32_t received = 0;
    const std::uint32_t result = ReadPenData(self->handle, buffer, &received);
    if (result == 0) {
      CSingleLock dispatch(&dispatchLock, TRUE);
      if (self->stopReceiving) break;  // stopped while the read was pending: drop it
      DispatchLocked(*self->upgrader, buffer, received);
    } else if (result == ERROR_DEVICE_NOT_CONNECTED) {
      break;  // the pen is gone
    } else {
      afx::Sleep(10);
    }
  }
  --runningThreads;
  return 0;
}

}  // namespace

void DispatchPacket(FirmwareUpgrader& upgrader, const std::uint8_t* packet, std::uint32_t length) {
  CSingleLock dispatch(&dispatchLock, TRUE);
  DispatchLocked(upgrader, packet, length);
}

ReceiveThread* BeginReceiveThread(HANDLE handle, FirmwareUpgrader& upgrader) {
  auto context = std::make_shared<ReceiveContext>();
  context->handle = handle;
  context->upgrader = &upgrader;
  auto* parameter = new std::shared_ptr<ReceiveContext>(context);
  ++runningThreads;
  CWinThread* thread = AfxBeginThread(ReceiveThreadProc, parameter, THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
  if (thread == nullptr) {
    --runningThreads;
    delete parameter;
    return nullptr;
  }
  thread->m_bAutoDelete = FALSE;
  thread->ResumeThread();
  return new ReceiveThread{thread, std::move(context)};
}

void RequestStop(ReceiveThread& receiver) {
  CSingleLock dispatch(&dispatchLock, TRUE);
  receiver.context->stopReceiving = true;
}

void EndReceiveThread(ReceiveThread* receiver, DWORD timeoutMs) {
  if (receiver->thread->WaitForEnd(timeoutMs) == WAIT_OBJECT_0) {
    delete receiver->thread;
  } else {
    receiver->thread->Abandon();
  }
  delete receiver;
}

int RunningReceiveThreads() { return runningThreads.load(); }
