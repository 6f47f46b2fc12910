#pragma once
// The upgrade thread: runs the upgrader's sequence once per Start click and
// leaves its outcome in upgradeDone or upgradeFailed.
#include "afx/afxmt.h"
#include "afx/thread.h"

class FirmwareUpgrader;

// Starts the thread at normal priority (created suspended, then resumed). The
// returned object stays valid until the caller deletes it after WaitForEnd.
CWinThread* BeginUpgradeThread(FirmwareUpgrader& upgrader);
