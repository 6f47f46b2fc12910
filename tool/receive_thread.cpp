#include "tool/receive_thread.h"

#include <atomic>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/pen_packet.h"
#include "engine/upgrade_tool_exception.h"
#include "tool/tool_state.h"
#include "usb/pen_channel.h"

struct ReceiveContext {
  HANDLE handle = nullptr;  // the opening this thread serves
  std::atomic<bool> stopReceiving{false};
};

namespace {

UINT ReceiveThreadProc(void* parameter) {
  std::unique_ptr<std::shared_ptr<ReceiveContext>> owned(static_cast<std::shared_ptr<ReceiveContext>*>(parameter));
  const std::shared_ptr<ReceiveContext> self = *owned;
  std::uint8_t buffer[PEN_RECEIVE_BUFFER_SIZE];
  while (!self->stopReceiving) {
    std::uint32_t received = 0;
    const std::uint32_t result = ReadPenData(self->handle, buffer, &received);
    if (result == 0) {
      CSingleLock dispatch(&dispatchLock, TRUE);
      if (self->stopReceiving) break;  // stopped while the read was pending: drop it
      try {
        DispatchPacket(buffer, received);
      } catch (const UpgradeToolException&) {
        upgradeFailed = true;
      }
    } else if (result == ERROR_DEVICE_NOT_CONNECTED) {
      break;  // the pen is gone
    } else {
      afx::Sleep(10);
    }
  }
  return 0;
}

}  // namespace

void DispatchPacket(const std::uint8_t* packet, std::uint32_t length) {
  CSingleLock dispatch(&dispatchLock, TRUE);
  if (length < PACKET_HEADER_SIZE || activeUpgrader == nullptr) return;
  const std::uint16_t type = PacketType(packet);
  if (type == PACKET_FLASH_RESPONSE) {
    activeUpgrader->DeliverResponse(packet + PACKET_HEADER_SIZE, length - PACKET_HEADER_SIZE);
  } else if (type == PACKET_DFU_MODE) {
    CSingleLock upgrader(&activeUpgrader->upgraderLock, TRUE);
    activeUpgrader->dfuModeSignal.SetEvent();
  }
}

ReceiveThread* BeginReceiveThread(HANDLE handle) {
  auto context = std::make_shared<ReceiveContext>();
  context->handle = handle;
  auto* parameter = new std::shared_ptr<ReceiveContext>(context);
  CWinThread* thread = AfxBeginThread(ReceiveThreadProc, parameter, THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
  if (thread == nullptr) {
    delete parameter;
    return nullptr;  // no receive thread: the pen stays open but silent, and an upgrade times out
  }
  thread->m_bAutoDelete = FALSE;
  thread->ResumeThread();
  return new ReceiveThread{thread, std::move(context)};
}

void RequestStop(ReceiveThread& receiver) {
  // Under dispatchLock: a dispatch in progress finishes first, and every later
  // one sees the flag.
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
