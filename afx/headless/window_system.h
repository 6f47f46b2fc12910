#pragma once
// Inside the headless backend: the windows and per-thread message queues that the
// user32 subset, the automation and CDialog::DoModal share. `State::mutex` guards the
// windows and boxes, each queue has its own mutex; nobody holds both, nor either
// while a window procedure, handler or observer runs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "afx/headless/automation.h"
#include "afx/win_ui_types.h"

namespace afx::headless::detail {

using namespace afx::automation;

using Clock = std::chrono::steady_clock;
struct ThreadQueue;

// A SendMessage from another thread, waiting for the window's thread to run it.
struct SentMessage {
  MSG msg{};
  LRESULT result = 0;
  bool done = false;                     // guarded by replyTo->mutex
  std::shared_ptr<ThreadQueue> replyTo;  // the sender's queue
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  Clock::duration period{};
  Clock::time_point due{};
};

// One per thread that owns windows or sends messages, made on first use.
struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::thread::id owner = std::this_thread::get_id();
  bool alive = true;  // false once the thread has ended: nothing more is delivered
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  std::atomic<int> openBoxes{0};  // message boxes the thread has open: they hold its focus
};

enum class Kind { Dialog, Button, Progress, Other };

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Other;
  int id = 0;
  std::string text;
  DWORD style = 0;
  RECT rect{};  // dialog units
  HWND parent = nullptr;
  std::vector<HWND> children;
  std::shared_ptr<ThreadQueue> queue;
  WNDPROC proc = nullptr;
  bool enabled = true;
  bool visible = false;
  bool iconic = false;
  UINT templateId = 0;
  std::uint64_t serial = 0;  // creation order
  int progressLow = 0;
  int progressHigh = 100;
  int progressPos = 0;
  bool shown = false;  // dialogs: initialised and shown, ready for the user
  bool ended = false;  // dialogs: EndDialog was called
  INT_PTR result = 0;  // dialogs: what EndDialog was given
  HWND owner = nullptr;  // dialogs: the owner they disabled, which EndDialog enables again
  HWND focus = nullptr;  // dialogs: the control that has the focus while the dialog is active
  std::optional<IconDraw> lastIconDraw;
};

struct State {
  std::mutex mutex;
  std::unordered_map<HWND, std::unique_ptr<Window>> windows;
  std::uintptr_t lastHandle = 0x10000;
  std::uint64_t lastSerial = 0;
  std::unordered_map<HDC, HWND> paintDCs;
  std::vector<MessageBoxInfo> boxHistory;
  std::shared_ptr<const MessageBoxHandler> boxHandler;
  std::shared_ptr<const Observer> observer;
  std::vector<SessionCall> sessionCalls;
};

State& GetState();  // never destroyed: threads may outlive static destruction

// The window under `handle`, or the dialog's control `id`, or null; call with GetState().mutex held.
Window* FindWindowLocked(HWND handle);
Window* FindControlLocked(HWND dialog, int id);

// The dialog's control that has the focus: none while another dialog of its
// thread, or a message box, is open over it. Call with GetState().mutex held.
Window* FocusLocked(const Window& dialog);

// Tells the observer about a change. Call without the lock.
void Notify(const UiEvent& event);

// The dialog manager's modal loop for a dialog template: `onCreated` runs once
// the window exists, before WM_NCCREATE and WM_CREATE, and returns the window
// procedure to use from then on (it gets the class procedure). Returns
// EndDialog's result, or -1 when the template is missing or creation failed.
INT_PTR DialogBoxWithHook(LPCSTR templateName, HWND owner, const std::function<WNDPROC(HWND, WNDPROC)>& onCreated);

}  // namespace afx::headless::detail
