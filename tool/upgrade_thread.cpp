#include "tool/upgrade_thread.h"

#include "engine/firmware_upgrader.h"
#include "engine/upgrade_tool_exception.h"
#include "tool/device_watch.h"

UpgradeRun::~UpgradeRun() { EndThread(); }

bool UpgradeRun::Start() {
  EndThread();
  m_outcome.Begin();
  m_thread = AfxBeginThread(UpgradeThreadProc, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (m_thread == nullptr) {
    m_outcome.Fail("The upgrade thread could not be started");  // the next tick reports it
    return false;
  }
  m_thread->m_bAutoDelete = FALSE;
  m_thread->ResumeThread();
  return true;
}

void UpgradeRun::EndThread() {
  if (m_thread == nullptr) return;
  // With the pen closed the upgrade ends within its own limits (its next
  // command finds no handle).
  m_thread->WaitForEnd(INFINITE);
  delete m_thread;
  m_thread = nullptr;
}

UINT UpgradeRun::UpgradeThreadProc(void* parameter) {
  auto& run = *static_cast<UpgradeRun*>(parameter);
  try {
    run.m_upgrader.Upgrade(run);
    run.m_outcome.Complete();
  } catch (const UpgradeToolException& failure) {
    run.m_outcome.Fail(failure.Message());
  }
  return 0;
}

void UpgradeRun::RestartPen() { m_watch.RestartPen(); }
void UpgradeRun::RejectRestartedPen() { m_watch.RejectRestartedPen(); }
