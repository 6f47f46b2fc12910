#pragma once
// What a test (or the terminal front) sees and does with the headless windows.
// Thread-safe, for threads other than the UI thread; reads take a snapshot, input
// goes through the UI thread's queue as real input does.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "afx/win_ui_types.h"

namespace afx::headless {

using Millis = std::chrono::milliseconds;

struct DialogState {
  std::string title;
  bool enabled = false;  // false while a modal message box or dialog is open over it
  bool visible = false;
};

struct MessageBoxInfo {
  HWND owner = nullptr;
  std::string caption;
  std::string text;
  UINT type = 0;   // MB_* flags as given
  int result = 0;  // the answer
};

// Dialogs.
// The most recently created dialog that is up for the user (initialised and
// shown, not ended), with this template ID unless 0; null when there is none.
// A dialog still in OnCreate or OnInitDialog is not found yet.
HWND FindDialog(UINT templateId = 0);
HWND WaitForDialog(UINT templateId, Millis timeout);
std::optional<DialogState> GetDialogState(HWND dialog);

// A control's state: empty, false or 0 when there is no such control.
std::string GetTitle(HWND dialog);
std::string GetControlText(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
int GetProgressPos(HWND dialog, int id);
std::pair<int, int> GetProgressRange(HWND dialog, int id);

// Input.
// A user's click: only on an existing, enabled and visible push button of an
// enabled, visible dialog; posts WM_COMMAND(id, BN_CLICKED). False when it could not happen.
bool ClickButton(HWND dialog, int id);
// The Escape key on an enabled, visible dialog: IDCANCEL through the dialog manager.
bool PressEscape(HWND dialog);
// Posts WM_COMMAND(id, code) whatever the control's state (the way to reach a
// hidden button). False when the dialog does not exist.
bool PostCommand(HWND dialog, int id, UINT code = BN_CLICKED);
// Posts WM_CLOSE, as another program or the close box would.
bool PostClose(HWND dialog);
// Minimises or restores the dialog and posts WM_PAINT.
bool SetIconic(HWND dialog, bool iconic);

struct IconDraw {
  int x = 0;
  int y = 0;
  HICON icon = nullptr;
};
// The last DrawIcon on a paint DC of the dialog.
std::optional<IconDraw> LastIconDraw(HWND dialog);

// Message boxes.
// A box blocks its thread in a nested message loop (timers, posted and sent
// messages keep running) until the handler answers it.

std::vector<MessageBoxInfo> MessageBoxHistory();  // every box closed since the last clear, in that order
void ClearMessageBoxHistory();

// Runs on the box's thread as the box opens and again after each message its
// loop handles; a non-zero result answers the box. Without a handler a box is
// answered IDOK as it opens. Empty to remove.
using MessageBoxHandler = std::function<int(const MessageBoxInfo&)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

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

// Waiting.
// Waits until `condition` holds or `timeout` (real time) has passed.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout);

}  // namespace afx::headless
