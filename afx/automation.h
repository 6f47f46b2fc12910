#pragma once
// Driving a program's dialogs as a user would, from a thread of the same program
// other than the UI thread: find a dialog, read its controls, click, press keys,
// answer message boxes. Two backends behind the same calls: the headless windows
// (afx/headless/automation.cpp, with what only they can tell in
// afx/headless/automation.h) and real windows over user32
// (testing/win32_ui/automation_win.cpp).
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "afx/win_ui_types.h"

namespace afx::automation {

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
  UINT type = 0;   // MB_* flags: the buttons and the icon
  int result = 0;  // the answer
};

// The program's newest dialog that is up for the user (initialised and shown,
// not ended, not a message box); null when there is none.
HWND FindDialog();
std::optional<DialogState> GetDialogState(HWND dialog);

// A control's state: empty, false or 0 when there is no such control.
std::string GetControlText(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);
int GetFocusedControl(HWND dialog);  // the ID of the control with the focus, 0 when none has it

// Input. Each is refused (false) where a user could not do it: a click on anything
// but an existing, enabled and visible push button, or any key or click on a
// disabled or hidden dialog.
bool ClickButton(HWND dialog, int id);
bool PressEscape(HWND dialog);  // IDCANCEL
bool PressEnter(HWND dialog);   // the focused push button, else the default one
// Posts WM_COMMAND(id, code) whatever the control's state (the way to reach a
// hidden button). False when the dialog does not exist.
bool PostCommand(HWND dialog, int id, UINT code = BN_CLICKED);
// Posts WM_CLOSE, as another program or the close box would.
bool PostClose(HWND dialog);

// Message boxes. A box blocks its thread in a nested message loop (timers,
// posted and sent messages keep running) until it is answered with one of its
// buttons. The handler is asked as the box opens and again while it stays open
// (headless: on the box's thread, after each message its loop handles; over
// user32: on a thread of the automation's, every 10 ms); a result the box has a
// button for answers it, any other leaves it open. Without a handler a box is
// answered IDOK as it opens (over user32: once SetMessageBoxHandler was first
// called). Empty to remove.
using MessageBoxHandler = std::function<int(const MessageBoxInfo&)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
std::vector<MessageBoxInfo> MessageBoxHistory();  // every box answered since the last clear, in that order
void ClearMessageBoxHistory();

// Waits until `condition` holds or `timeout` (real time) has passed.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout);

}  // namespace afx::automation
