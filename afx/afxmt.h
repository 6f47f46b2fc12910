#pragma once
// The framework's synchronisation header: CEvent, CMutex, CCriticalSection, CSingleLock.
#include "afx/sync.h"
