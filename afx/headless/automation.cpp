// Automation of the headless window system: snapshots under the state lock,
// input posted to the UI thread's queue.
#include "afx/headless/automation.h"

#include <thread>

#include "afx/headless/window_system.h"

namespace afx::automation {

using afx::headless::detail::FindControlLocked;
using afx::headless::detail::FindWindowLocked;
using afx::headless::detail::GetState;
using afx::headless::detail::Kind;
using afx::headless::detail::Window;

namespace {

const Window* DialogLocked(HWND dialog) {
  const Window* window = FindWindowLocked(dialog);
  return window != nullptr && window->kind == Kind::Dialog ? window : nullptr;
}

// Runs `read` on the dialog's control `id` under the lock; `otherwise` when there is none.
template <typename Result, typename Read>
Result ReadControl(HWND dialog, int id, Result otherwise, Read read) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* control = DialogLocked(dialog) != nullptr ? FindControlLocked(dialog, id) : nullptr;
  return control != nullptr ? read(*control) : otherwise;
}

// Posts a key for the dialog when it is up for the user.
bool PressKey(HWND dialog, WPARAM key) {
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window* window = DialogLocked(dialog);
    if (window == nullptr || !window->enabled || !window->visible) return false;
  }
  return PostMessageA(dialog, WM_KEYDOWN, key, 0) != FALSE;
}

}  // namespace

HWND FindDialog(UINT templateId) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* newest = nullptr;
  for (const auto& [handle, window] : GetState().windows) {
    if (window->kind != Kind::Dialog || (templateId != 0 && window->templateId != templateId)) continue;
    if (!window->shown || window->ended) continue;
    if (newest == nullptr || window->serial > newest->serial) newest = window.get();
  }
  return newest != nullptr ? newest->handle : nullptr;
}

HWND FindDialog() { return FindDialog(0); }

HWND WaitForDialog(UINT templateId, Millis timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindDialog(templateId)) != nullptr; }, timeout);
  return found;
}

std::optional<DialogState> GetDialogState(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = DialogLocked(dialog);
  if (window == nullptr) return std::nullopt;
  return DialogState{window->text, window->enabled, window->visible};
}

std::string GetControlText(HWND dialog, int id) {
  return ReadControl(dialog, id, std::string(), [](const Window& c) { return c.text; });
}

bool IsControlEnabled(HWND dialog, int id) {
  return ReadControl(dialog, id, false, [](const Window& c) { return c.enabled; });
}

bool IsControlVisible(HWND dialog, int id) {
  return ReadControl(dialog, id, false, [](const Window& c) { return c.visible; });
}

int GetProgressPos(HWND dialog, int id) {
  return ReadControl(dialog, id, 0, [](const Window& c) { return c.progressPos; });
}

std::pair<int, int> GetProgressRange(HWND dialog, int id) {
  return ReadControl(dialog, id, std::make_pair(0, 0),
                     [](const Window& c) { return std::make_pair(c.progressLow, c.progressHigh); });
}

int GetFocusedControl(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = DialogLocked(dialog);
  const Window* focus = window != nullptr ? afx::headless::detail::FocusLocked(*window) : nullptr;
  return focus != nullptr ? focus->id : 0;
}

bool ClickButton(HWND dialog, int id) {
  HWND button = nullptr;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(dialog);
    const Window* c = DialogLocked(dialog) != nullptr ? FindControlLocked(dialog, id) : nullptr;
    if (c == nullptr || !window->enabled || !window->visible || c->kind != Kind::Button || !c->enabled || !c->visible ||
        (c->style & BS_TYPEMASK) > BS_DEFPUSHBUTTON) {
      return false;
    }
    button = c->handle;
    window->focus = button;  // the press focuses the button before the release clicks it
  }
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool PressEscape(HWND dialog) { return PressKey(dialog, VK_ESCAPE); }
bool PressEnter(HWND dialog) { return PressKey(dialog, VK_RETURN); }

bool PostCommand(HWND dialog, int id, UINT code) {
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))) !=
         FALSE;
}

bool PostClose(HWND dialog) { return PostMessageA(dialog, WM_CLOSE, 0, 0) != FALSE; }

bool SetIconic(HWND dialog, bool iconic) {
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(dialog);
    if (window == nullptr) return false;
    window->iconic = iconic;
  }
  return PostMessageA(dialog, WM_PAINT, 0, 0) != FALSE;
}

std::optional<IconDraw> LastIconDraw(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(dialog);
  return window != nullptr ? window->lastIconDraw : std::nullopt;
}

std::vector<MessageBoxInfo> MessageBoxHistory() {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return GetState().boxHistory;
}

void ClearMessageBoxHistory() {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  GetState().boxHistory.clear();
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  auto shared = handler ? std::make_shared<const MessageBoxHandler>(std::move(handler)) : nullptr;
  std::lock_guard<std::mutex> guard(GetState().mutex);
  GetState().boxHandler = std::move(shared);
}

void SetObserver(Observer observer) {
  auto shared = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
  std::lock_guard<std::mutex> guard(GetState().mutex);
  GetState().observer = std::move(shared);
}

std::optional<BOOL> QueryEndSession(HWND dialog) {
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    if (DialogLocked(dialog) == nullptr) return std::nullopt;
  }
  return SendMessageA(dialog, WM_QUERYENDSESSION, 0, 0) != 0 ? TRUE : FALSE;
}

std::vector<SessionCall> SessionCalls() {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return GetState().sessionCalls;
}

void ClearSessionCalls() {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  GetState().sessionCalls.clear();
}

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
  // Conditions may depend on more than the windows (a pen, a thread): look every millisecond.
  const auto deadline = afx::headless::detail::Clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (afx::headless::detail::Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace afx::automation
