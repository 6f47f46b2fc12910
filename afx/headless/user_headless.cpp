// The user32 subset of the headless backend: windows and controls in memory,
// per-thread message queues with posted and sent messages and timers, modal
// dialogs and modal message boxes, with Win32's contracts where the programs
// can see them (sent messages run on the window's thread, also inside modal
// loops; timers only fire when nothing is posted; a modal box or dialog
// disables its owner).
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "afx/headless/resources.h"
#include "afx/headless/window_system.h"

namespace afx::headless::detail {

State& GetState() {
  static State* state = new State;
  return *state;
}

Window* FindWindowLocked(HWND handle) {
  auto& windows = GetState().windows;
  const auto found = windows.find(handle);
  return found != windows.end() ? found->second.get() : nullptr;
}

Window* FindControlLocked(HWND dialog, int id) {
  const Window* window = FindWindowLocked(dialog);
  for (HWND child : window != nullptr ? window->children : std::vector<HWND>()) {
    Window* control = FindWindowLocked(child);
    if (control != nullptr && control->id == id) return control;
  }
  return nullptr;
}

Window* FocusLocked(const Window& dialog) {
  if (dialog.ended || dialog.queue->openBoxes > 0) return nullptr;
  for (const auto& [handle, window] : GetState().windows) {
    if (window->kind == Kind::Dialog && window->queue == dialog.queue && window->shown && !window->ended &&
        window->serial > dialog.serial) {
      return nullptr;
    }
  }
  return FindWindowLocked(dialog.focus);
}

void Notify(const UiEvent& event) {
  std::shared_ptr<const Observer> observer;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    observer = GetState().observer;
  }
  if (observer && *observer) (*observer)(event);
}

namespace {

void Reply(SentMessage& message, LRESULT result) {
  ThreadQueue& sender = *message.replyTo;
  std::lock_guard<std::mutex> guard(sender.mutex);  // held while notifying: the sender may go at once
  message.result = result;
  message.done = true;
  sender.changed.notify_all();
}

// Ends a thread's queue with the thread: senders waiting on it get 0.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
      std::lock_guard<std::mutex> guard(queue->mutex);
      queue->alive = false;
      pending.swap(queue->sent);
      queue->posted.clear();
      queue->timers.clear();
    }
    for (const auto& message : pending) Reply(*message, 0);
  }
};
thread_local QueueHolder queueHolder;

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!queueHolder.queue) queueHolder.queue = std::make_shared<ThreadQueue>();
  return queueHolder.queue;
}

std::shared_ptr<ThreadQueue> QueueOf(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr ? window->queue : nullptr;
}

LRESULT Dispatch(const MSG& msg) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    if (const Window* window = FindWindowLocked(msg.hwnd)) proc = window->proc;
  }
  return proc != nullptr ? proc(msg.hwnd, msg.message, msg.wParam, msg.lParam) : 0;
}

void ProcessSentMessages(ThreadQueue& queue) {
  for (;;) {
    std::shared_ptr<SentMessage> message;
    {
      std::lock_guard<std::mutex> guard(queue.mutex);
      if (queue.sent.empty()) return;
      message = queue.sent.front();
      queue.sent.pop_front();
    }
    Reply(*message, Dispatch(message->msg));
  }
}

// The thread's message loop, one message at a time: sent messages are handled
// inside; returns false without a message once `stop` holds.
bool NextMessage(ThreadQueue& queue, MSG* msg, const std::function<bool()>& stop) {
  for (;;) {
    ProcessSentMessages(queue);
    if (stop && stop()) return false;
    std::unique_lock<std::mutex> lock(queue.mutex);
    if (!queue.sent.empty()) continue;
    if (!queue.posted.empty()) {
      *msg = queue.posted.front();
      queue.posted.pop_front();
      return true;
    }
    // Timers are generated, not queued: only when nothing else waits, at most one per period.
    const auto now = Clock::now();
    Timer* next = nullptr;
    for (Timer& timer : queue.timers) {
      if (next == nullptr || timer.due < next->due) next = &timer;
    }
    if (next != nullptr && next->due <= now) {
      next->due = now + next->period;
      *msg = MSG{next->hwnd, WM_TIMER, next->id, 0};
      return true;
    }
    const auto ready = [&queue] { return !queue.sent.empty() || !queue.posted.empty(); };
    if (next != nullptr) {
      queue.changed.wait_until(lock, next->due, ready);
    } else {
      queue.changed.wait(lock, ready);
    }
  }
}

// Removes the queue's timers that `match`; false when there was none.
template <typename Match>
bool RemoveTimers(ThreadQueue& queue, Match match) {
  std::lock_guard<std::mutex> guard(queue.mutex);
  const auto kept = std::remove_if(queue.timers.begin(), queue.timers.end(), match);
  const bool removed = kept != queue.timers.end();
  queue.timers.erase(kept, queue.timers.end());
  return removed;
}

UiEvent Event(UiEventKind kind, const Window& window) {
  UiEvent event;
  event.kind = kind;
  const bool isDialog = window.kind == Kind::Dialog;
  event.dialog = isDialog ? window.handle : window.parent;
  event.controlId = isDialog ? 0 : window.id;
  return event;
}

LRESULT ProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != PBM_SETRANGE && message != PBM_SETPOS) return DefWindowProcA(hwnd, message, wParam, lParam);
  LRESULT previous = 0;
  UiEvent event;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* bar = FindWindowLocked(hwnd);
    if (bar == nullptr) return 0;
    if (message == PBM_SETRANGE) {
      previous = MAKELONG(bar->progressLow, bar->progressHigh);
      bar->progressLow = LOWORD(lParam);
      bar->progressHigh = HIWORD(lParam);
    } else {
      previous = bar->progressPos;
    }
    const int pos = message == PBM_SETPOS ? static_cast<int>(wParam) : bar->progressPos;
    bar->progressPos = std::clamp(pos, bar->progressLow, bar->progressHigh);
    event = Event(UiEventKind::ProgressChanged, *bar);
    event.value = bar->progressPos;
    event.low = bar->progressLow;
    event.high = bar->progressHigh;
  }
  Notify(event);
  return previous;
}

Kind KindOfClass(const std::string& name) {
  const auto is = [&name](const char* wanted) {
    return name.size() == std::strlen(wanted) && std::equal(name.begin(), name.end(), wanted, [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
  };
  return is("Button") ? Kind::Button : is(PROGRESS_CLASSA) ? Kind::Progress : Kind::Other;
}

HWND NewHandleLocked() {
  State& state = GetState();
  state.lastHandle += 0x10;
  return reinterpret_cast<HWND>(state.lastHandle);
}

HDC NewDC() {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return reinterpret_cast<HDC>(NewHandleLocked());
}

Window& AddWindowLocked(Kind kind, const std::shared_ptr<ThreadQueue>& queue) {
  State& state = GetState();
  auto window = std::make_unique<Window>();
  window->handle = NewHandleLocked();
  window->kind = kind;
  window->queue = queue;
  window->proc = kind == Kind::Dialog ? &DefDlgProcA : kind == Kind::Progress ? &ProgressProc : &DefWindowProcA;
  window->serial = ++state.lastSerial;
  Window& added = *window;
  state.windows.emplace(added.handle, std::move(window));
  return added;
}

void Destroy(HWND hwnd) {
  std::vector<HWND> children;
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) return;
    children = window->children;
    queue = window->queue;
  }
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  for (HWND child : children) Destroy(child);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  RemoveTimers(*queue, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
  std::optional<UiEvent> closed;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window& window = *GetState().windows.at(hwnd);
    if (window.kind == Kind::Dialog) closed = Event(UiEventKind::DialogClosed, window);
    GetState().windows.erase(hwnd);
  }
  if (closed) Notify(*closed);
}

// What Enter clicks: the focused push button when it is the default one, else
// the dialog's default button if enabled (none if disabled), else IDOK.
std::optional<int> EnterCommand(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(dialog);
  const Window* focus = window != nullptr ? FocusLocked(*window) : nullptr;
  const auto isDefault = [](const Window* c) {
    return c->kind == Kind::Button && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  };
  if (focus != nullptr && isDefault(focus)) return focus->id;
  for (HWND child : window != nullptr ? window->children : std::vector<HWND>()) {
    const Window* control = FindWindowLocked(child);
    if (isDefault(control)) return control->enabled ? std::optional<int>(control->id) : std::nullopt;
  }
  return IDOK;
}

bool DialogEnded(HWND dialog) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(dialog);
  return window == nullptr || window->ended;
}

// USER_TIMER_MINIMUM: no window timer ticks faster.
constexpr UINT kTimerMinimum = 10;

// Pixels per dialog unit of the templates' 8-point shell font at 96 dpi.
constexpr LONG kBaseUnitX = 6;
constexpr LONG kBaseUnitY = 13;

}  // namespace

INT_PTR DialogBoxWithHook(LPCSTR templateName, HWND owner, const std::function<WNDPROC(HWND, WNDPROC)>& onCreated) {
  const auto resource = FindResource(templateName, RT_DIALOG);
  const auto dialogTemplate = resource ? ParseDialogTemplate(*resource) : std::nullopt;
  if (!dialogTemplate) return -1;

  const auto queue = CurrentQueue();
  HWND dialog;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window& window = AddWindowLocked(Kind::Dialog, queue);
    dialog = window.handle;
    window.text = dialogTemplate->title;
    window.style = dialogTemplate->style & ~WS_VISIBLE;  // shown once initialised
    window.rect = dialogTemplate->rect;
    window.enabled = (dialogTemplate->style & WS_DISABLED) == 0;
    window.templateId = LOWORD(reinterpret_cast<ULONG_PTR>(templateName));
  }
  const WNDPROC proc = onCreated(dialog, &DefDlgProcA);
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    FindWindowLocked(dialog)->proc = proc;
  }

  CREATESTRUCTA create{};  // what a handler may read of it
  create.lpszName = dialogTemplate->title.c_str();
  create.hwndParent = owner;
  const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
  if (!SendMessageA(dialog, WM_NCCREATE, 0, createParam) || SendMessageA(dialog, WM_CREATE, 0, createParam) == -1) {
    Destroy(dialog);
    return -1;
  }

  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    for (const DialogItemTemplate& item : dialogTemplate->items) {
      Window& control = AddWindowLocked(KindOfClass(item.className), queue);
      control.id = item.id;
      control.text = item.text;
      control.style = item.style | WS_CHILD;
      control.parent = dialog;
      control.enabled = (item.style & WS_DISABLED) == 0;
      control.visible = (item.style & WS_VISIBLE) != 0;
      FindWindowLocked(dialog)->children.push_back(control.handle);
    }
  }

  // TRUE from WM_INITDIALOG: the focus goes to the first control a Tab would reach.
  const bool setFocus = SendMessageA(dialog, WM_INITDIALOG, 0, 0) != 0;
  // Modal over its owner, as DialogBox is, until EndDialog.
  if (!DialogEnded(dialog) && owner != nullptr && IsWindow(owner) && !EnableWindow(owner, FALSE)) {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    FindWindowLocked(dialog)->owner = owner;
  }
  std::optional<UiEvent> opened;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(dialog);
    if (window != nullptr && !window->ended) {
      window->visible = window->shown = true;
      for (HWND child : setFocus ? window->children : std::vector<HWND>()) {
        const Window* control = FindWindowLocked(child);
        if (control->enabled && control->visible && (control->style & WS_TABSTOP) != 0 && window->focus == nullptr) {
          window->focus = child;
        }
      }
      opened = Event(UiEventKind::DialogOpened, *window);
      opened->text = window->text;
    }
  }
  if (opened) {
    Notify(*opened);
    // Showing erases the background at once; the paint comes through the queue.
    SendMessageA(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(NewDC()), 0);
    PostMessageA(dialog, WM_PAINT, 0, 0);
  }
  MSG msg{};
  while (NextMessage(*queue, &msg, [dialog] { return DialogEnded(dialog); })) {
    // Keys reach the dialog manager first: Escape is Cancel, Enter the default button.
    const bool key = msg.message == WM_KEYDOWN && msg.hwnd == dialog;
    const auto command = !key ? std::nullopt
                         : msg.wParam == static_cast<WPARAM>(VK_ESCAPE) ? std::optional<int>(IDCANCEL)
                         : msg.wParam == static_cast<WPARAM>(VK_RETURN) ? EnterCommand(dialog)
                                                                          : std::nullopt;
    if (command) {
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(*command, BN_CLICKED), 0);
    } else if (!key) {
      Dispatch(msg);
    }
  }
  INT_PTR result = 0;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    if (const Window* window = FindWindowLocked(dialog)) result = window->result;
  }
  Destroy(dialog);
  return result;
}

}  // namespace afx::headless::detail

using namespace afx::headless;
using namespace afx::headless::detail;

// Windows.
BOOL IsWindow(HWND window) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return FindWindowLocked(window) != nullptr ? TRUE : FALSE;
}

HWND GetDlgItem(HWND dialog, int id) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* control = FindControlLocked(dialog, id);
  return control != nullptr ? control->handle : nullptr;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  UiEvent event;
  bool wasDisabled;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) return FALSE;
    wasDisabled = !window->enabled;
    window->enabled = enable != FALSE;
    // A disabled window cannot keep the focus.
    Window* parent = FindWindowLocked(window->parent);
    if (!window->enabled && parent != nullptr && parent->focus == hwnd) parent->focus = nullptr;
    event = Event(UiEventKind::EnabledChanged, *window);
    event.flag = window->enabled;
  }
  if (wasDisabled == (enable != FALSE)) Notify(event);
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr && window->iconic ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  if (window == nullptr || rect == nullptr) return FALSE;
  *rect = {0, 0, (window->rect.right - window->rect.left) * kBaseUnitX / 4,
           (window->rect.bottom - window->rect.top) * kBaseUnitY / 8};
  return TRUE;
}

int GetSystemMetrics(int index) { return index == SM_CXICON || index == SM_CYICON ? 32 : 0; }

// Messages.
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto queue = QueueOf(hwnd);
  if (!queue) return FALSE;
  {
    std::lock_guard<std::mutex> guard(queue->mutex);
    if (!queue->alive) return FALSE;
    queue->posted.push_back(MSG{hwnd, message, wParam, lParam});
  }
  queue->changed.notify_all();
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto target = QueueOf(hwnd);
  if (!target) return 0;
  const MSG msg{hwnd, message, wParam, lParam};
  if (target->owner == std::this_thread::get_id()) return Dispatch(msg);

  // Another thread's window: the message runs there, in its message loop, while
  // this thread waits and keeps handling messages sent to itself.
  const auto self = CurrentQueue();
  const auto sent = std::make_shared<SentMessage>(SentMessage{msg, 0, false, self});
  {
    std::lock_guard<std::mutex> guard(target->mutex);
    if (!target->alive) return 0;
    target->sent.push_back(sent);
  }
  target->changed.notify_all();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(self->mutex);
      self->changed.wait(lock, [&] { return sent->done || !self->sent.empty(); });
      if (sent->done) return sent->result;
    }
    ProcessSentMessages(*self);
  }
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_NCCREATE || message == WM_ERASEBKGND || message == WM_DEVICECHANGE ||
      message == WM_QUERYENDSESSION) {
    return TRUE;
  }
  if (message != WM_SETTEXT) return 0;
  const char* text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
  UiEvent event;
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) return FALSE;
    changed = window->text != text;
    window->text = text;
    event = Event(UiEventKind::TextChanged, *window);
    event.text = text;
  }
  if (changed) Notify(event);
  return TRUE;
}

LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // The dialog manager turns a close request into Cancel.
  if (message == WM_CLOSE) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return 0;
  }
  return DefWindowProcA(dialog, message, wParam, lParam);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure(hwnd, message, wParam, lParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  // Called on the dialog's thread, by a handler: its loop looks at `ended` before it
  // waits again. As in Win32, the dialog hides and gives its owner back at once,
  // even from inside a message box's loop.
  HWND owner;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(dialog);
    if (window == nullptr || window->kind != Kind::Dialog) return FALSE;
    window->result = result;  // the last call before the loop ends decides
    window->ended = true;
    window->visible = false;
    owner = std::exchange(window->owner, nullptr);
  }
  if (owner != nullptr) EnableWindow(owner, TRUE);
  return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  const auto queue = QueueOf(hwnd);
  if (!queue || procedure != nullptr) return 0;  // window timers only
  KillTimer(hwnd, id);
  const auto period = std::chrono::milliseconds(std::max<UINT>(elapse, kTimerMinimum));
  {
    std::lock_guard<std::mutex> guard(queue->mutex);
    queue->timers.push_back(Timer{hwnd, id, period, Clock::now() + period});
  }
  queue->changed.notify_all();
  return id != 0 ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  const auto queue = QueueOf(hwnd);
  return queue && RemoveTimers(*queue, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }) ? TRUE : FALSE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  UiEvent event;
  event.kind = UiEventKind::MessageBoxOpened;
  event.dialog = owner;
  event.box = MessageBoxInfo{owner, caption != nullptr ? caption : "Error", text != nullptr ? text : "", type, 0};
  // The box is modal over its owner: no input reaches it from the moment it shows.
  const bool ownerWasEnabled = owner != nullptr && IsWindow(owner) && !EnableWindow(owner, FALSE);
  std::shared_ptr<const MessageBoxHandler> handler;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    handler = GetState().boxHandler;
  }
  Notify(event);
  const auto queue = CurrentQueue();
  ++queue->openBoxes;
  // The answers each type's buttons give, by bit: OK, OK/Cancel, Abort/Retry/Ignore,
  // Yes/No/Cancel, Yes/No, Retry/Cancel. No other answer closes the box.
  constexpr unsigned kAnswers[] = {0x02, 0x06, 0x38, 0xC4, 0xC0, 0x14};
  const unsigned answers = (type & 0xF) < 6 ? kAnswers[type & 0xF] : 0x02;
  MSG msg{};
  for (;;) {
    event.box.result = handler && *handler ? (*handler)(event.box) : IDOK;
    if (event.box.result > 0 && event.box.result < 8 && ((answers >> event.box.result) & 1) != 0) break;
    NextMessage(*queue, &msg, nullptr);
    Dispatch(msg);
  }
  --queue->openBoxes;
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    GetState().boxHistory.push_back(event.box);
  }
  event.kind = UiEventKind::MessageBoxClosed;
  Notify(event);
  return event.box.result;
}

// Painting and resources.
HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  *paint = PAINTSTRUCT{};
  if (!GetClientRect(hwnd, &paint->rcPaint)) return nullptr;
  // Nothing to erase: the background was erased when the window was shown.
  std::lock_guard<std::mutex> guard(GetState().mutex);
  paint->hdc = reinterpret_cast<HDC>(NewHandleLocked());
  GetState().paintDCs[paint->hdc] = hwnd;
  return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return GetState().paintDCs.erase(paint->hdc) != 0 ? TRUE : FALSE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const auto found = GetState().paintDCs.find(dc);
  Window* window = found != GetState().paintDCs.end() ? FindWindowLocked(found->second) : nullptr;
  if (window == nullptr) return FALSE;
  window->lastIconDraw = IconDraw{x, y, icon};
  return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  // A handle that names the icon group; nothing draws it.
  if (!FindResource(name, RT_GROUP_ICON)) return nullptr;
  return reinterpret_cast<HICON>(0x7F000000u + reinterpret_cast<ULONG_PTR>(name));
}

HMODULE GetModuleHandleA(LPCSTR) { return reinterpret_cast<HMODULE>(0x400000); }

DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
  const ssize_t length = size > 0 ? ::readlink("/proc/self/exe", buffer, size - 1) : -1;
  if (length < 0) return 0;
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}
