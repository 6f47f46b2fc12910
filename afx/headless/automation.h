#pragma once
// The automation of the headless windows (afx/automation.h), and what only they
// can tell: the template a dialog came from, progress bars, paint, the session
// calls and every change as it happens. Used by the terminal demo and the tests.
// Thread-safe; reads take a snapshot, input goes through the UI thread's queue as
// real input does.
#include <thread>
#include <utility>

#include "afx/automation.h"

namespace afx::automation {

// Dialogs.
// FindDialog's dialog with this template ID; a dialog still in OnCreate or
// OnInitDialog is not found yet.
HWND FindDialog(UINT templateId);
HWND WaitForDialog(UINT templateId, Millis timeout);

bool IsControlVisible(HWND dialog, int id);
int GetProgressPos(HWND dialog, int id);
std::pair<int, int> GetProgressRange(HWND dialog, int id);

// Minimises or restores the dialog and posts WM_PAINT.
bool SetIconic(HWND dialog, bool iconic);

struct IconDraw {
  int x = 0;
  int y = 0;
  HICON icon = nullptr;
};
// The last DrawIcon on a paint DC of the dialog.
std::optional<IconDraw> LastIconDraw(HWND dialog);

// The session.
// Sends WM_QUERYENDSESSION, as the system does before a shutdown, restart or
// log-off: the dialog's answer (TRUE lets the session end), or none without the dialog.
std::optional<BOOL> QueryEndSession(HWND dialog);

enum class SessionCallKind {
  BlockReasonCreate,   // ShutdownBlockReasonCreate(window, reason)
  BlockReasonDestroy,  // ShutdownBlockReasonDestroy(window)
  ExecutionState,      // SetThreadExecutionState(flags)
};

struct SessionCall {
  SessionCallKind kind{};
  HWND window = nullptr;
  std::wstring reason;
  EXECUTION_STATE flags = 0;
  std::thread::id thread;  // the calling thread
};

std::vector<SessionCall> SessionCalls();  // every call since the last clear, in order
void ClearSessionCalls();

// Observing.
enum class UiEventKind {
  DialogOpened,      // text: title
  DialogClosed,
  TextChanged,       // controlId 0: the title; text: the new text
  EnabledChanged,    // flag: enabled
  ProgressChanged,   // value: position (range in low/high)
  MessageBoxOpened,  // box
  MessageBoxClosed,  // box (with result)
};

struct UiEvent {
  UiEventKind kind{};
  HWND dialog = nullptr;
  int controlId = 0;
  std::string text;
  bool flag = false;
  int value = 0;
  int low = 0;
  int high = 0;
  MessageBoxInfo box;
};

// Called on the thread that made the change, after it, holding no lock. Empty to remove.
using Observer = std::function<void(const UiEvent&)>;
void SetObserver(Observer observer);

}  // namespace afx::automation
