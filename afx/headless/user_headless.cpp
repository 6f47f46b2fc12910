// The user32 subset of the headless backend: windows and controls in memory,
// per-thread message queues with posted and sent messages and timers, modal
// dialogs and modal message boxes, with Win32's contracts where tests can see
// them (sent messages run on the window's thread, also inside modal loops;
// timers only fire when nothing is posted; a modal box disables its owner).
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "afx/headless/dialog_template.h"
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

void NotifyChange() {
  State& state = GetState();
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    ++state.changes;
  }
  state.changed.notify_all();
}

void Notify(const UiEvent& event) {
  std::shared_ptr<const Observer> observer;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    observer = GetState().observer;
  }
  if (observer && *observer) (*observer)(event);
  NotifyChange();
}

namespace {

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
    for (const auto& message : pending) {
      std::lock_guard<std::mutex> guard(message->replyTo->mutex);
      message->done = true;
      message->replyTo->changed.notify_all();
    }
  }
};
thread_local QueueHolder queueHolder;

Window* ChildById(const Window& dialog, int id) {
  for (HWND child : dialog.children) {
    Window* window = FindWindowLocked(child);
    if (window != nullptr && window->id == id) return window;
  }
  return nullptr;
}

std::shared_ptr<ThreadQueue> QueueOf(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr ? window->queue : nullptr;
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    if (const Window* window = FindWindowLocked(hwnd)) proc = window->proc;
  }
  return proc != nullptr ? proc(hwnd, message, wParam, lParam) : 0;
}

void Reply(SentMessage& message, LRESULT result) {
  ThreadQueue& sender = *message.replyTo;
  {
    std::lock_guard<std::mutex> guard(sender.mutex);
    message.result = result;
    message.done = true;
  }
  sender.changed.notify_all();
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
    Reply(*message, Dispatch(message->hwnd, message->message, message->wParam, message->lParam));
  }
}

UiEvent Event(UiEventKind kind, const Window& window) {
  UiEvent event;
  event.kind = kind;
  const bool isDialog = window.kind == Kind::Dialog;
  event.dialog = isDialog ? window.handle : window.parent;
  event.controlId = isDialog ? 0 : window.id;
  return event;
}

// Pixels per dialog unit of the templates' 8-point shell font at 96 dpi.
constexpr LONG kBaseUnitX = 6;
constexpr LONG kBaseUnitY = 13;

// --- Class procedures of the controls --------------------------------------------

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == BM_CLICK) {
    HWND parent = nullptr;
    int id = 0;
    {
      std::lock_guard<std::mutex> guard(GetState().mutex);
      const Window* button = FindWindowLocked(hwnd);
      if (button == nullptr || !button->enabled || (button->style & BS_TYPEMASK) == BS_GROUPBOX) return 0;
      parent = button->parent;
      id = button->id;
    }
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT ProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < PBM_SETRANGE || message > PBM_GETPOS) return DefWindowProcA(hwnd, message, wParam, lParam);
  LRESULT result = 0;
  UiEvent event;
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* bar = FindWindowLocked(hwnd);
    if (bar == nullptr) return 0;
    const int oldPos = bar->progressPos;
    const int oldLow = bar->progressLow;
    const int oldHigh = bar->progressHigh;
    const auto setPos = [bar](long long pos) {
      bar->progressPos = static_cast<int>(std::clamp<long long>(pos, bar->progressLow, bar->progressHigh));
    };
    switch (message) {
      case PBM_SETRANGE:
        result = MAKELONG(oldLow, oldHigh);
        bar->progressLow = LOWORD(lParam);
        bar->progressHigh = HIWORD(lParam);
        break;
      case PBM_SETRANGE32:
        result = MAKELONG(oldLow, oldHigh);
        bar->progressLow = static_cast<int>(wParam);
        bar->progressHigh = static_cast<int>(lParam);
        break;
      case PBM_SETPOS:
        result = oldPos;
        setPos(static_cast<int>(wParam));
        break;
      case PBM_DELTAPOS:
        result = oldPos;
        setPos(static_cast<long long>(oldPos) + static_cast<int>(wParam));
        break;
      case PBM_GETPOS:
        result = oldPos;
        break;
      case PBM_GETRANGE:
        if (lParam != 0) *reinterpret_cast<PBRANGE*>(lParam) = {oldLow, oldHigh};
        result = wParam != 0 ? oldLow : oldHigh;
        break;
      default:
        break;
    }
    changed = bar->progressPos != oldPos || bar->progressLow != oldLow || bar->progressHigh != oldHigh;
    event = Event(UiEventKind::ProgressChanged, *bar);
    event.value = bar->progressPos;
    event.low = bar->progressLow;
    event.high = bar->progressHigh;
  }
  if (changed) Notify(event);
  return result;
}

WNDPROC ClassProc(Kind kind) {
  switch (kind) {
    case Kind::Dialog:
      return &DefDlgProcA;
    case Kind::Button:
      return &ButtonProc;
    case Kind::Progress:
      return &ProgressProc;
    default:
      return &DefWindowProcA;
  }
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

Kind KindOfClass(const std::string& className) {
  if (EqualsIgnoringCase(className, "Button")) return Kind::Button;
  if (EqualsIgnoringCase(className, "Static")) return Kind::Static;
  if (EqualsIgnoringCase(className, PROGRESS_CLASSA)) return Kind::Progress;
  return Kind::Other;
}

HWND NewHandleLocked() {
  State& state = GetState();
  state.lastHandle += 0x10;
  return reinterpret_cast<HWND>(state.lastHandle);
}

void RemoveTimers(ThreadQueue& queue, HWND hwnd) {
  std::lock_guard<std::mutex> guard(queue.mutex);
  auto& timers = queue.timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [hwnd](const Timer& t) { return t.hwnd == hwnd; }),
               timers.end());
}

}  // namespace

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!queueHolder.queue) {
    queueHolder.queue = std::make_shared<ThreadQueue>();
    queueHolder.queue->owner = std::this_thread::get_id();
  }
  return queueHolder.queue;
}

void Wake(ThreadQueue& queue) {
  {
    std::lock_guard<std::mutex> guard(queue.mutex);
    ++queue.wakeups;
  }
  queue.changed.notify_all();
}

bool NextMessage(ThreadQueue& queue, MSG* msg, const std::function<bool()>& stop) {
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard<std::mutex> guard(queue.mutex);
      seen = queue.wakeups;  // before stop(): a Wake after this is never missed
    }
    ProcessSentMessages(queue);
    if (stop && stop()) return false;
    std::unique_lock<std::mutex> lock(queue.mutex);
    if (!queue.sent.empty()) continue;
    if (!queue.posted.empty()) {
      *msg = queue.posted.front();
      queue.posted.pop_front();
      return true;
    }
    if (queue.quitPosted) {
      queue.quitPosted = false;
      *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, 0, {0, 0}};
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
      *msg = MSG{next->hwnd, WM_TIMER, next->id, 0, 0, {0, 0}};
      return true;
    }
    const auto ready = [&queue, seen] {
      return !queue.sent.empty() || !queue.posted.empty() || queue.quitPosted || queue.wakeups != seen;
    };
    if (next != nullptr) {
      queue.changed.wait_until(lock, next->due, ready);
    } else {
      queue.changed.wait(lock, ready);
    }
  }
}

WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  Window* window = FindWindowLocked(hwnd);
  if (window == nullptr) return nullptr;
  const WNDPROC previous = window->proc;
  window->proc = proc;
  return previous;
}

INT_PTR DialogBoxWithHook(LPCSTR templateName, HWND owner, const std::function<void(HWND)>& onCreated) {
  const auto resource = FindResource(templateName, RT_DIALOG);
  if (!resource) return -1;
  const auto dialogTemplate = ParseDialogTemplate(resource->data, resource->size);
  if (!dialogTemplate) return -1;

  const auto queue = CurrentQueue();
  const auto modal = std::make_shared<ModalState>();
  HWND dialog;
  {
    State& state = GetState();
    std::lock_guard<std::mutex> guard(state.mutex);
    auto window = std::make_unique<Window>();
    dialog = window->handle = NewHandleLocked();
    window->kind = Kind::Dialog;
    window->className = "#32770";
    window->text = dialogTemplate->title;
    window->style = dialogTemplate->style & ~WS_VISIBLE;  // shown once initialised
    window->exStyle = dialogTemplate->exStyle;
    window->rect = dialogTemplate->rect;
    window->queue = queue;
    window->proc = ClassProc(Kind::Dialog);
    window->enabled = (dialogTemplate->style & WS_DISABLED) == 0;
    window->templateId = IS_INTRESOURCE(templateName) ? LOWORD(reinterpret_cast<ULONG_PTR>(templateName)) : 0;
    window->serial = ++state.lastSerial;
    window->modal = modal;
    state.windows.emplace(dialog, std::move(window));
  }
  onCreated(dialog);

  CREATESTRUCTA create{};
  create.x = dialogTemplate->rect.left;
  create.y = dialogTemplate->rect.top;
  create.cx = dialogTemplate->rect.right - dialogTemplate->rect.left;
  create.cy = dialogTemplate->rect.bottom - dialogTemplate->rect.top;
  create.style = static_cast<LONG>(dialogTemplate->style);
  create.dwExStyle = dialogTemplate->exStyle;
  create.lpszName = dialogTemplate->title.c_str();
  create.lpszClass = "#32770";
  create.hwndParent = owner;
  create.hInstance = GetModuleHandleA(nullptr);
  const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
  if (!SendMessageA(dialog, WM_NCCREATE, 0, createParam) || SendMessageA(dialog, WM_CREATE, 0, createParam) == -1) {
    DestroyWindow(dialog);
    return -1;
  }

  HWND firstTabStop = nullptr;
  {
    State& state = GetState();
    std::lock_guard<std::mutex> guard(state.mutex);
    Window* parent = FindWindowLocked(dialog);
    if (parent == nullptr) return -1;  // destroyed by its own WM_CREATE handling
    for (const DialogItemTemplate& item : dialogTemplate->items) {
      auto control = std::make_unique<Window>();
      control->handle = NewHandleLocked();
      control->kind = KindOfClass(item.className);
      control->className = item.className;
      control->id = item.id;
      control->text = item.text;
      control->style = item.style | WS_CHILD;
      control->exStyle = item.exStyle;
      control->rect = item.rect;
      control->parent = dialog;
      control->queue = queue;
      control->proc = ClassProc(control->kind);
      control->enabled = (item.style & WS_DISABLED) == 0;
      control->visible = (item.style & WS_VISIBLE) != 0;
      control->serial = ++state.lastSerial;
      if (firstTabStop == nullptr && (item.style & WS_TABSTOP) != 0 && control->enabled && control->visible) {
        firstTabStop = control->handle;
      }
      parent->children.push_back(control->handle);
      state.windows.emplace(control->handle, std::move(control));
    }
  }

  SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), 0);
  // Modal over its owner, as DialogBox is.
  const bool ownerWasEnabled = owner != nullptr && IsWindow(owner) && !EnableWindow(owner, FALSE);
  if (!modal->ended && IsWindow(dialog)) {
    ShowWindow(dialog, SW_SHOW);
    UiEvent opened;
    opened.kind = UiEventKind::DialogOpened;
    opened.dialog = dialog;
    {
      std::lock_guard<std::mutex> guard(GetState().mutex);
      if (Window* window = FindWindowLocked(dialog)) {
        window->shown = true;
        opened.text = window->text;
      }
    }
    Notify(opened);
    PostMessageA(dialog, WM_PAINT, 0, 0);
  }
  MSG msg{};
  while (NextMessage(*queue, &msg, [&] { return modal->ended.load() || !IsWindow(dialog); })) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside, as Win32 does
      break;
    }
    if (!IsDialogMessageA(dialog, &msg)) DispatchMessageA(&msg);
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  DestroyWindow(dialog);
  return modal->result.load();
}

}  // namespace afx::headless::detail

using namespace afx::headless;
using namespace afx::headless::detail;

// --- Windows ------------------------------------------------------------------------

BOOL IsWindow(HWND window) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return FindWindowLocked(window) != nullptr ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND hwnd) {
  std::vector<HWND> children;
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) return FALSE;
    children = window->children;
    queue = window->queue;
  }
  if (queue->owner != std::this_thread::get_id()) return FALSE;  // only its own thread may
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  for (HWND child : children) DestroyWindow(child);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  RemoveTimers(*queue, hwnd);
  UiEvent closed;
  bool wasDialog = false;
  {
    State& state = GetState();
    std::lock_guard<std::mutex> guard(state.mutex);
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) return TRUE;
    wasDialog = window->kind == Kind::Dialog;
    if (Window* parent = FindWindowLocked(window->parent)) {
      auto& siblings = parent->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    }
    if (window->modal) window->modal->ended = true;
    const auto menu = state.systemMenus.find(hwnd);
    if (menu != state.systemMenus.end()) {
      state.menus.erase(menu->second);
      state.systemMenus.erase(menu);
    }
    closed.kind = UiEventKind::DialogClosed;
    closed.dialog = hwnd;
    state.windows.erase(hwnd);
  }
  if (wasDialog) Notify(closed);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(dialog);
  if (window == nullptr) return nullptr;
  const Window* child = ChildById(*window, id);
  return child != nullptr ? child->handle : nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr ? window->id : 0;
}

HWND GetParent(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr ? window->parent : nullptr;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam) {
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    const Window* window = FindWindowLocked(parent);
    if (window == nullptr) return FALSE;
    children = window->children;
  }
  for (HWND child : children) {
    if (!callback(child, lParam)) break;
  }
  return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount) {
  if (buffer == nullptr || maxCount <= 0) return 0;
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  const std::string text = window != nullptr ? window->text : std::string();
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(maxCount - 1));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

int GetWindowTextLengthA(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr ? static_cast<int>(window->text.size()) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  const HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? SetWindowTextA(control, text) : FALSE;
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
    event = Event(UiEventKind::EnabledChanged, *window);
    event.flag = window->enabled;
  }
  if (wasDisabled == (enable != FALSE)) Notify(event);
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr && window->enabled ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  UiEvent event;
  bool wasVisible;
  bool changed;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) return FALSE;
    wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) window->iconic = true;
    if (command == SW_RESTORE || command == SW_SHOWNORMAL) window->iconic = false;
    window->style = window->visible ? (window->style | WS_VISIBLE) : (window->style & ~WS_VISIBLE);
    changed = wasVisible != window->visible;
    event = Event(UiEventKind::VisibleChanged, *window);
    event.flag = window->visible;
  }
  if (changed) Notify(event);
  return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  for (const Window* window = FindWindowLocked(hwnd); window != nullptr; window = FindWindowLocked(window->parent)) {
    if (!window->visible) return FALSE;
    if (window->parent == nullptr) return TRUE;
  }
  return FALSE;
}

BOOL IsIconic(HWND hwnd) {
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  return window != nullptr && window->iconic ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  if (rect == nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(hwnd);
  if (window == nullptr) return FALSE;
  *rect = {0, 0, (window->rect.right - window->rect.left) * kBaseUnitX / 4,
           (window->rect.bottom - window->rect.top) * kBaseUnitY / 8};
  return TRUE;
}

int GetSystemMetrics(int index) { return index == SM_CXICON || index == SM_CYICON ? 32 : 0; }

// --- Messages --------------------------------------------------------------------------

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto queue = hwnd != nullptr ? QueueOf(hwnd) : CurrentQueue();
  if (!queue) return FALSE;
  {
    std::lock_guard<std::mutex> guard(queue->mutex);
    if (!queue->alive) return FALSE;
    queue->posted.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
  }
  queue->changed.notify_all();
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto target = QueueOf(hwnd);
  if (!target) return 0;
  if (target->owner == std::this_thread::get_id()) return Dispatch(hwnd, message, wParam, lParam);

  // Another thread's window: the message runs there, in its message loop, while
  // this thread waits and keeps handling messages sent to itself.
  const auto self = CurrentQueue();
  const auto sent = std::make_shared<SentMessage>();
  *sent = SentMessage{hwnd, message, wParam, lParam, 0, false, self};
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

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
    case WM_ERASEBKGND:
    case WM_DEVICECHANGE:
      return TRUE;
    case WM_SETTEXT: {
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
    case WM_GETTEXT:
      return GetWindowTextA(hwnd, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return GetWindowTextLengthA(hwnd);
    case WM_SETICON:
    case WM_GETICON: {
      std::lock_guard<std::mutex> guard(GetState().mutex);
      Window* window = FindWindowLocked(hwnd);
      if (window == nullptr) return 0;
      HICON& slot = window->icons[wParam == ICON_BIG ? 1 : 0];
      const HICON previous = slot;
      if (message == WM_SETICON) slot = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          SendMessageA(hwnd, WM_CLOSE, 0, 0);
          break;
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          break;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          break;
        default:
          break;
      }
      return 0;
    default:
      return 0;
  }
}

LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    // The dialog manager turns a close request into Cancel, unless a Cancel button is disabled.
    const HWND cancel = GetDlgItem(dialog, IDCANCEL);
    if (cancel == nullptr || IsWindowEnabled(cancel)) {
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    }
    return 0;
  }
  return DefWindowProcA(dialog, message, wParam, lParam);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure != nullptr ? procedure(hwnd, message, wParam, lParam) : 0;
}

BOOL GetMessageA(LPMSG msg, HWND, UINT, UINT) {
  NextMessage(*CurrentQueue(), msg, nullptr);
  return msg->message != WM_QUIT ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, 0);
    return 0;
  }
  return msg->hwnd != nullptr ? Dispatch(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (msg->message != WM_KEYDOWN) return FALSE;
  if (msg->hwnd != dialog && GetParent(msg->hwnd) != dialog) return FALSE;
  if (msg->wParam == static_cast<WPARAM>(VK_ESCAPE)) {
    const HWND cancel = GetDlgItem(dialog, IDCANCEL);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
  } else if (msg->wParam == static_cast<WPARAM>(VK_RETURN)) {
    // Enter presses the default push button when it is enabled; without one it means IDOK.
    int id = IDOK;
    HWND button = nullptr;
    {
      std::lock_guard<std::mutex> guard(GetState().mutex);
      if (const Window* window = FindWindowLocked(dialog)) {
        for (HWND child : window->children) {
          const Window* control = FindWindowLocked(child);
          if (control != nullptr && control->kind == Kind::Button &&
              (control->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            button = child;
            id = control->id;
            break;
          }
        }
      }
    }
    if (button == nullptr || IsWindowEnabled(button)) {
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
  }
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  const auto queue = CurrentQueue();
  {
    std::lock_guard<std::mutex> guard(queue->mutex);
    queue->quitPosted = true;
    queue->quitCode = exitCode;
  }
  queue->changed.notify_all();
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    Window* window = FindWindowLocked(dialog);
    if (window == nullptr || !window->modal) return FALSE;
    window->modal->result = result;  // as in Win32, the last call before the loop ends decides
    window->modal->ended = true;
    queue = window->queue;
  }
  Wake(*queue);
  return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  const auto queue = QueueOf(hwnd);
  if (!queue || procedure != nullptr) return 0;  // window timers only
  const auto period = std::chrono::milliseconds(std::max<UINT>(elapse, 1));
  {
    std::lock_guard<std::mutex> guard(queue->mutex);
    auto& timers = queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
                 timers.end());
    timers.push_back(Timer{hwnd, id, period, Clock::now() + period});
  }
  queue->changed.notify_all();
  return id != 0 ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  const auto queue = QueueOf(hwnd);
  if (!queue) return FALSE;
  std::lock_guard<std::mutex> guard(queue->mutex);
  auto& timers = queue->timers;
  const auto found =
      std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (found == timers.end()) return FALSE;
  timers.erase(found);
  return TRUE;
}

// --- Message boxes -------------------------------------------------------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const auto queue = CurrentQueue();
  const auto box = std::make_shared<OpenBox>();
  box->queue = queue;
  box->info.owner = owner;
  box->info.caption = caption != nullptr ? caption : "Error";
  box->info.text = text != nullptr ? text : "";
  box->info.type = type;
  // The box is modal over its owner: no input reaches it from the moment it shows.
  const bool ownerWasEnabled = owner != nullptr && IsWindow(owner) && !EnableWindow(owner, FALSE);
  std::shared_ptr<const MessageBoxHandler> handler;
  UiEvent opened;
  opened.kind = UiEventKind::MessageBoxOpened;
  opened.dialog = owner;
  {
    // Once published, the box's state is shared with AnswerMessageBox: read it under the lock.
    State& state = GetState();
    std::lock_guard<std::mutex> guard(state.mutex);
    box->info.serial = ++state.lastBoxSerial;
    state.openBoxes.push_back(box);
    state.boxHistory.push_back(box->info);
    handler = state.boxHandler;
    opened.box = box->info;
  }
  Notify(opened);

  const auto answered = [&box] {
    std::lock_guard<std::mutex> guard(GetState().mutex);
    return box->answered;
  };
  if (handler && *handler) {
    if (const int result = (*handler)(opened.box)) {
      std::lock_guard<std::mutex> guard(GetState().mutex);
      box->info.result = result;
      box->answered = true;
    }
  }
  MSG msg{};
  while (NextMessage(*queue, &msg, answered)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      std::lock_guard<std::mutex> guard(GetState().mutex);
      box->info.result = IDCANCEL;
      box->answered = true;
      break;
    }
    DispatchMessageA(&msg);
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);

  UiEvent closed;
  closed.kind = UiEventKind::MessageBoxClosed;
  closed.dialog = owner;
  {
    State& state = GetState();
    std::lock_guard<std::mutex> guard(state.mutex);
    auto& open = state.openBoxes;
    open.erase(std::remove(open.begin(), open.end(), box), open.end());
    for (MessageBoxInfo& past : state.boxHistory) {
      if (past.serial == box->info.serial) past.result = box->info.result;
    }
    closed.box = box->info;
  }
  Notify(closed);
  return closed.box.result;
}

// --- Menus, painting, resources ----------------------------------------------------------

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
  State& state = GetState();
  std::lock_guard<std::mutex> guard(state.mutex);
  const Window* window = FindWindowLocked(hwnd);
  if (window == nullptr || (window->style & WS_SYSMENU) == 0) return nullptr;
  const auto existing = state.systemMenus.find(hwnd);
  if (existing != state.systemMenus.end()) {
    if (!revert) return existing->second;
    state.menus.erase(existing->second);
    state.systemMenus.erase(existing);
    return nullptr;
  }
  if (revert) return nullptr;
  const HMENU menu = reinterpret_cast<HMENU>(NewHandleLocked());
  state.menus[menu] = {MenuItem{MF_STRING, SC_CLOSE, "Close"}};
  state.systemMenus[hwnd] = menu;
  return menu;
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR item) {
  State& state = GetState();
  std::lock_guard<std::mutex> guard(state.mutex);
  const auto found = state.menus.find(menu);
  if (found == state.menus.end()) return FALSE;
  found->second.push_back(MenuItem{flags, id, (flags & MF_SEPARATOR) == 0 && item != nullptr ? item : ""});
  return TRUE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  if (paint == nullptr || !IsWindow(hwnd)) return nullptr;
  *paint = PAINTSTRUCT{};
  HDC dc;
  {
    State& state = GetState();
    std::lock_guard<std::mutex> guard(state.mutex);
    dc = reinterpret_cast<HDC>(NewHandleLocked());
    state.paintDCs[dc] = hwnd;
  }
  paint->hdc = dc;
  GetClientRect(hwnd, &paint->rcPaint);
  paint->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 ? TRUE : FALSE;
  return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(GetState().mutex);
  return GetState().paintDCs.erase(paint->hdc) != 0 ? TRUE : FALSE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
  State& state = GetState();
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    const auto found = state.paintDCs.find(dc);
    if (found == state.paintDCs.end()) return FALSE;
    Window* window = FindWindowLocked(found->second);
    if (window == nullptr) return FALSE;
    window->lastIconDraw = IconDraw{x, y, icon};
  }
  NotifyChange();
  return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  // A handle that names the icon group; nothing draws it.
  if (!IS_INTRESOURCE(name) || !FindResource(name, RT_GROUP_ICON)) return nullptr;
  return reinterpret_cast<HICON>(0x7F000000u + reinterpret_cast<ULONG_PTR>(name));
}

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  const auto text = LoadStringResource(id);
  if (!text) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t length = std::min(text->size(), static_cast<std::size_t>(bufferMax - 1));
  std::memcpy(buffer, text->data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

HMODULE GetModuleHandleA(LPCSTR) { return reinterpret_cast<HMODULE>(0x400000); }

DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const ssize_t length = ::readlink("/proc/self/exe", buffer, size - 1);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX*) { return TRUE; }
