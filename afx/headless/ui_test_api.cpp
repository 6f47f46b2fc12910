// The test API over the headless window system: snapshots under the state lock,
// input posted to the UI thread's queue, message boxes answered by waking the
// box's nested loop.
#include "afx/headless/ui_test_api.h"

#include <algorithm>

#include "afx/headless/window_system.h"

namespace afx::headless {

using detail::FindWindowLocked;
using detail::GetState;
using detail::Kind;
using detail::Window;

namespace {

ControlState Snapshot(const Window& control) {
  ControlState state;
  state.id = control.id;
  state.className = control.className;
  state.text = control.text;
  state.style = control.style;
  state.enabled = control.enabled;
  state.visible = control.visible;
  state.rect = control.rect;
  state.progressPos = control.progressPos;
  state.progressLow = control.progressLow;
  state.progressHigh = control.progressHigh;
  return state;
}

const Window* DialogLocked(HWND dialog) {
  const Window* window = FindWindowLocked(dialog);
  return window != nullptr && window->kind == Kind::Dialog ? window : nullptr;
}

const Window* ControlLocked(HWND dialog, int id) {
  const Window* parent = DialogLocked(dialog);
  if (parent == nullptr) return nullptr;
  for (HWND child : parent->children) {
    const Window* control = FindWindowLocked(child);
    if (control != nullptr && control->id == id) return control;
  }
  return nullptr;
}

std::shared_ptr<const detail::OpenBox> InnermostUnansweredLocked() {
  const auto& open = GetState().openBoxes;
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    if (!(*it)->answered) return *it;
  }
  return nullptr;
}

}  // namespace

HWND FindDialog(UINT templateId) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* newest = nullptr;
  for (const auto& [handle, window] : GetState().windows) {
    if (window->kind != Kind::Dialog || (templateId != 0 && window->templateId != templateId)) continue;
    if (!window->shown || (window->modal && window->modal->ended)) continue;
    if (newest == nullptr || window->serial > newest->serial) newest = window.get();
  }
  return newest != nullptr ? newest->handle : nullptr;
}

HWND WaitForDialog(UINT templateId, Millis timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindDialog(templateId)) != nullptr; }, timeout);
  return found;
}

std::optional<DialogState> GetDialogState(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = DialogLocked(dialog);
  if (window == nullptr) return std::nullopt;
  DialogState state;
  state.hwnd = dialog;
  state.templateId = window->templateId;
  state.title = window->text;
  state.style = window->style;
  state.enabled = window->enabled;
  state.visible = window->visible;
  state.iconic = window->iconic;
  state.smallIcon = window->icons[0];
  state.bigIcon = window->icons[1];
  for (HWND child : window->children) {
    if (const Window* control = FindWindowLocked(child)) state.controls.push_back(Snapshot(*control));
  }
  return state;
}

std::optional<ControlState> GetControl(HWND dialog, int id) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* control = ControlLocked(dialog, id);
  if (control == nullptr) return std::nullopt;
  return Snapshot(*control);
}

std::string GetTitle(HWND dialog) {
  const auto state = GetDialogState(dialog);
  return state ? state->title : std::string();
}

std::string GetControlText(HWND dialog, int id) {
  const auto control = GetControl(dialog, id);
  return control ? control->text : std::string();
}

bool IsControlEnabled(HWND dialog, int id) {
  const auto control = GetControl(dialog, id);
  return control && control->enabled;
}

bool IsControlVisible(HWND dialog, int id) {
  const auto control = GetControl(dialog, id);
  return control && control->visible;
}

int GetProgressPos(HWND dialog, int id) {
  const auto control = GetControl(dialog, id);
  return control ? control->progressPos : 0;
}

std::pair<int, int> GetProgressRange(HWND dialog, int id) {
  const auto control = GetControl(dialog, id);
  return control ? std::make_pair(control->progressLow, control->progressHigh) : std::make_pair(0, 0);
}

bool ClickButton(HWND dialog, int id) {
  HWND button = nullptr;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window* parent = DialogLocked(dialog);
    const Window* control = ControlLocked(dialog, id);
    if (parent == nullptr || control == nullptr || !parent->enabled || !parent->visible) return false;
    if (control->kind != Kind::Button || !control->enabled || !control->visible ||
        (control->style & BS_TYPEMASK) == BS_GROUPBOX) {
      return false;
    }
    button = control->handle;
  }
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE;
}

namespace {
bool PressKey(HWND dialog, int key) {
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window* window = DialogLocked(dialog);
    if (window == nullptr || !window->enabled || !window->visible) return false;
  }
  return PostMessageA(dialog, WM_KEYDOWN, static_cast<WPARAM>(key), 0) != FALSE;
}
}  // namespace

bool PressEscape(HWND dialog) { return PressKey(dialog, VK_ESCAPE); }

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
  detail::NotifyChange();
  return PostMessageA(dialog, WM_PAINT, 0, 0) != FALSE;
}

std::optional<IconDraw> LastIconDraw(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(dialog);
  return window != nullptr ? window->lastIconDraw : std::nullopt;
}

std::optional<MessageBoxInfo> CurrentMessageBox() {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const auto box = InnermostUnansweredLocked();
  if (!box) return std::nullopt;
  return box->info;
}

std::optional<MessageBoxInfo> WaitForMessageBox(Millis timeout) {
  std::optional<MessageBoxInfo> box;
  WaitUntil([&] { return (box = CurrentMessageBox()).has_value(); }, timeout);
  return box;
}

bool AnswerMessageBox(int result) {
  std::shared_ptr<detail::ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const auto box = InnermostUnansweredLocked();
    if (!box || result == 0) return false;
    auto& open = const_cast<detail::OpenBox&>(*box);
    open.info.result = result;
    open.answered = true;
    queue = open.queue;
  }
  detail::Wake(*queue);
  return true;
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

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
  const auto deadline = detail::Clock::now() + timeout;
  detail::State& state = GetState();
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard<std::mutex> guard(state.mutex);
      seen = state.changes;
    }
    if (condition()) return true;
    const auto now = detail::Clock::now();
    if (now >= deadline) return false;
    // Conditions may depend on more than the windows: look again every few ms.
    std::unique_lock<std::mutex> lock(state.mutex);
    state.changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(5)),
                             [&] { return state.changes != seen; });
  }
}

}  // namespace afx::headless
