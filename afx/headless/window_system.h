#pragma once
// Inside the headless backend: the windows in memory, the per-thread message
// queues and the open message boxes, shared by the user32 subset
// (user_headless.cpp), the test API (ui_test_api.cpp) and CDialog::DoModal.
//
// Locking: `State::mutex` guards the window table, menus, boxes and hooks; each
// queue has its own mutex. Nobody holds both, and nobody holds either while a
// window procedure, handler or observer runs.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "afx/headless/ui_test_api.h"
#include "afx/win_ui_types.h"

namespace afx::headless::detail {

using Clock = std::chrono::steady_clock;
struct ThreadQueue;

// A SendMessage from another thread, waiting for the window's thread to run it.
struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
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
  std::thread::id owner;
  bool alive = true;  // false once the thread has ended: nothing more is delivered
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quitPosted = false;
  int quitCode = 0;
  std::uint64_t wakeups = 0;  // Wake() bumps it so that a waiting loop re-checks its stop condition
};

enum class Kind { Dialog, Button, Static, Progress, Other };

struct ModalState {
  std::atomic<bool> ended{false};
  std::atomic<INT_PTR> result{0};
};

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Other;
  std::string className;
  int id = 0;
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
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
  HICON icons[2] = {nullptr, nullptr};  // ICON_SMALL, ICON_BIG
  int progressLow = 0;
  int progressHigh = 100;
  int progressPos = 0;
  std::shared_ptr<ModalState> modal;  // dialogs run by DialogBoxWithHook
  bool shown = false;                 // initialised and shown: ready for the user
  std::optional<IconDraw> lastIconDraw;
};

struct OpenBox {
  MessageBoxInfo info;
  std::shared_ptr<ThreadQueue> queue;
  bool answered = false;
};

struct MenuItem {
  UINT flags = 0;
  UINT_PTR id = 0;
  std::string text;
};

struct State {
  std::mutex mutex;
  std::condition_variable changed;  // any change a WaitUntil may be waiting for
  std::uint64_t changes = 0;
  std::unordered_map<HWND, std::unique_ptr<Window>> windows;
  std::uintptr_t lastHandle = 0x10000;
  std::uint64_t lastSerial = 0;
  std::unordered_map<HMENU, std::vector<MenuItem>> menus;
  std::unordered_map<HWND, HMENU> systemMenus;
  std::unordered_map<HDC, HWND> paintDCs;
  std::vector<std::shared_ptr<OpenBox>> openBoxes;  // innermost last
  std::vector<MessageBoxInfo> boxHistory;
  std::uint64_t lastBoxSerial = 0;
  std::shared_ptr<const MessageBoxHandler> boxHandler;
  std::shared_ptr<const Observer> observer;
};

State& GetState();  // never destroyed: threads may outlive static destruction

// The window under `handle`, or null; call with GetState().mutex held.
Window* FindWindowLocked(HWND handle);

// Tells observers and WaitUntil about a change. Call without the lock.
void Notify(const UiEvent& event);
void NotifyChange();

std::shared_ptr<ThreadQueue> CurrentQueue();
// Makes a thread waiting in one of its message loops re-check why it waits.
void Wake(ThreadQueue& queue);
// The thread's message loop, one message at a time: sent messages are handled
// inside; returns false without a message once `stop` holds.
bool NextMessage(ThreadQueue& queue, MSG* msg, const std::function<bool()>& stop);

// DialogBoxParam with the afx creation hook built in: `onCreated` runs once the
// dialog window exists, before WM_NCCREATE and WM_CREATE, so that the CWnd can
// take it over. Returns EndDialog's result, or -1 when the template is missing
// or malformed or creation failed.
INT_PTR DialogBoxWithHook(LPCSTR templateName, HWND owner, const std::function<void(HWND)>& onCreated);

// Replaces a window's procedure; returns the previous one (SetWindowLongPtr(GWLP_WNDPROC)).
WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc);

}  // namespace afx::headless::detail
