// The automation calls (afx/automation.h) over real windows: this program's own
// dialogs, read and driven through user32 from a thread other than theirs. Input
// is what the mouse and keyboard would send: a click is BM_CLICK on the button, a
// key goes to the window with the focus. Message boxes are answered by a thread
// of their own, started by the first SetMessageBoxHandler.
#include <memory>
#include <mutex>
#include <thread>

#include "afx/automation.h"
#include "testing/win32_ui/win32_ui.h"

namespace afx::automation {
namespace {

constexpr int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text

std::string Utf8(const std::wstring& text) {
  std::string utf8(text.size() * 3, '\0');
  const int size = static_cast<int>(text.size()), length = static_cast<int>(utf8.size());
  const int written = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), size, &utf8[0], length, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(written));
  return utf8;
}

// A dialog with a control of that ID (IDC_STATIC) would pass for a box: the test dialogs have none.
bool IsMessageBox(HWND hwnd) { return GetDlgItem(hwnd, kMessageBoxText) != nullptr; }

// The box's button for this answer, if it shows one.
HWND Button(HWND box, int id) {
  const HWND button = GetDlgItem(box, id);
  return button != nullptr && IsWindowVisible(button) ? button : nullptr;
}

// The topmost shown dialog-class window of this program that `accept` takes.
HWND FindOwnDialog(bool (*accept)(HWND)) {
  return win32_ui::FindProcessWindow(GetThreadDesktop(GetCurrentThreadId()), GetCurrentProcessId(), L"#32770", true,
                                     accept);
}

bool UpForInput(HWND dialog) { return IsWindowEnabled(dialog) && IsWindowVisible(dialog); }

// Where a key goes: the window with the focus, if it is the dialog's.
HWND KeyTarget(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus != nullptr && IsChild(dialog, info.hwndFocus) ? info.hwndFocus : dialog;
}

bool PressKey(HWND dialog, WPARAM key) {
  return UpForInput(dialog) && PostMessageW(KeyTarget(dialog), WM_KEYDOWN, key, 1) != FALSE;
}

// The MB_* flags a box shows: its buttons, and the icon of the system's that it draws.
UINT TypeOf(HWND box) {
  const auto has = [box](int id) { return Button(box, id) != nullptr; };
  UINT type = has(IDABORT) ? MB_ABORTRETRYIGNORE : has(IDYES) ? (has(IDCANCEL) ? MB_YESNOCANCEL : MB_YESNO)
              : has(IDRETRY) ? MB_RETRYCANCEL : has(IDCANCEL) ? MB_OKCANCEL : MB_OK;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    for (WORD i = 0; i < 4 && icon != nullptr; ++i) {  // IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK
      if (icon == LoadIconW(nullptr, MAKEINTRESOURCEW(32513 + i))) type |= 0x10u * (i + 1u);  // MB_ICONHAND ...
    }
  }
  return type;
}

struct Boxes {
  std::mutex mutex;
  std::shared_ptr<const MessageBoxHandler> handler;
  std::vector<MessageBoxInfo> history;
  bool watching = false;
};

Boxes& GetBoxes() {
  static Boxes* boxes = new Boxes;  // never destroyed: the watching thread outlives static destruction
  return *boxes;
}

// Answers the program's message boxes as they come, for as long as it runs.
void WatchBoxes() {
  for (;;) {
    HWND box = nullptr;
    win32_ui::WaitUntil([&] { return (box = FindOwnDialog(&IsMessageBox)) != nullptr; },
                        std::chrono::milliseconds(INFINITE));
    MessageBoxInfo info{GetWindow(box, GW_OWNER), Utf8(win32_ui::WindowText(box)),
                        Utf8(win32_ui::WindowText(GetDlgItem(box, kMessageBoxText))), TypeOf(box), 0};
    std::shared_ptr<const MessageBoxHandler> handler;
    {
      std::lock_guard<std::mutex> guard(GetBoxes().mutex);
      handler = GetBoxes().handler;
    }
    info.result = handler && *handler ? (*handler)(info) : IDOK;
    const HWND button = Button(box, info.result);
    if (button == nullptr) {  // no such button: asked again at the next look
      Sleep(10);
      continue;
    }
    PostMessageW(button, BM_CLICK, 0, 0);
    win32_ui::WaitUntil([box] { return !IsWindowVisible(box); });
    std::lock_guard<std::mutex> guard(GetBoxes().mutex);
    GetBoxes().history.push_back(info);
  }
}

}  // namespace

HWND FindDialog() {
  return FindOwnDialog([](HWND hwnd) { return !IsMessageBox(hwnd); });
}

std::optional<DialogState> GetDialogState(HWND dialog) {
  wchar_t className[16] = {};
  if (!IsWindow(dialog) || !GetClassNameW(dialog, className, 16) || std::wstring(className) != L"#32770") {
    return std::nullopt;
  }
  return DialogState{Utf8(win32_ui::WindowText(dialog)), IsWindowEnabled(dialog) != FALSE,
                     IsWindowVisible(dialog) != FALSE};
}

std::string GetControlText(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? Utf8(win32_ui::WindowText(control)) : std::string();
}

bool IsControlEnabled(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  return control != nullptr && IsWindowEnabled(control);
}

int GetFocusedControl(HWND dialog) {
  const HWND target = KeyTarget(dialog);
  return target != dialog ? GetDlgCtrlID(target) : 0;
}

bool ClickButton(HWND dialog, int id) {
  const HWND button = GetDlgItem(dialog, id);
  const LONG type = button != nullptr ? GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK : -1;
  if (!UpForInput(dialog) || button == nullptr || !UpForInput(button) ||
      (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)) {
    return false;
  }
  return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

bool PressEscape(HWND dialog) { return PressKey(dialog, VK_ESCAPE); }
bool PressEnter(HWND dialog) { return PressKey(dialog, VK_RETURN); }

bool PostCommand(HWND dialog, int id, UINT code) {
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))) !=
         FALSE;
}

bool PostClose(HWND dialog) { return PostMessageW(dialog, WM_CLOSE, 0, 0) != FALSE; }

void SetMessageBoxHandler(MessageBoxHandler handler) {
  auto shared = handler ? std::make_shared<const MessageBoxHandler>(std::move(handler)) : nullptr;
  std::lock_guard<std::mutex> guard(GetBoxes().mutex);
  GetBoxes().handler = std::move(shared);
  if (!GetBoxes().watching) std::thread(&WatchBoxes).detach();
  GetBoxes().watching = true;
}

std::vector<MessageBoxInfo> MessageBoxHistory() {
  std::lock_guard<std::mutex> guard(GetBoxes().mutex);
  return GetBoxes().history;
}

void ClearMessageBoxHistory() {
  std::lock_guard<std::mutex> guard(GetBoxes().mutex);
  GetBoxes().history.clear();
}

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
  return win32_ui::WaitUntil(condition, timeout);
}

}  // namespace afx::automation
