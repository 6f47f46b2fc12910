#pragma once
// The Win32 user-interface names the window layer and the programs use. On
// Windows they come from the system headers; in native builds this header
// declares them with the same names and values, and the headless backend
// (afx/headless/) implements the functions in memory. Native builds are ANSI:
// TCHAR is char and the undecorated names are inline forwarders to the A forms.
#include "afx/win_types.h"

#ifdef _WIN32
#include <commctrl.h>
#include <tchar.h>
#else
#include <cstdint>

#ifdef UNICODE
#error "The headless window backend is ANSI only"
#endif

using TCHAR = char;
using WCHAR = wchar_t;
using LPCWSTR = const WCHAR*;
using LPTSTR = char*;
using LPCTSTR = const char*;
using INT_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;

#define DECLARE_AFX_HANDLE(name) \
  struct name##__;               \
  using name = name##__*
DECLARE_AFX_HANDLE(HICON);
DECLARE_AFX_HANDLE(HDC);
DECLARE_AFX_HANDLE(HINSTANCE);
#undef DECLARE_AFX_HANDLE
using HCURSOR = HICON;
using HMODULE = HINSTANCE;

#define CALLBACK
#define WINAPI
#define _T(text) text

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xFFFF))
#define MAKELONG(low, high) \
  (static_cast<LONG>(static_cast<DWORD>((static_cast<WORD>(low)) | (static_cast<DWORD>(static_cast<WORD>(high)) << 16))))
#define MAKEWPARAM(low, high) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(low, high))))
#define MAKELPARAM(low, high) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(low, high))))
#define MAKEINTRESOURCE(id) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)

struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using RECT = tagRECT;
using LPRECT = RECT*;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct CREATESTRUCTA {  // what the headless backend fills in
  HWND hwndParent;
  LPCSTR lpszName;
};
using LPCREATESTRUCT = CREATESTRUCTA*;

struct PAINTSTRUCT {
  HDC hdc;
  RECT rcPaint;
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// Window messages.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

// Button and progress controls.
constexpr UINT BN_CLICKED = 0;
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
#define PROGRESS_CLASSA "msctls_progress32"

// Window, dialog and control styles.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_TYPEMASK = 0xF;

// Icons and metrics.
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;

// Dialog results and message boxes.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ICONEXCLAMATION = 0x30;

constexpr int VK_RETURN = 0x0D;
constexpr int VK_ESCAPE = 0x1B;

// Resource types.
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

// The user32 subset of the headless backend. Same contracts as Win32's; windows
// belong to the thread that created them and messages to them run there.
BOOL IsWindow(HWND window);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetWindowTextA(HWND window, LPCSTR text);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsIconic(HWND window);
BOOL GetClientRect(HWND window, LPRECT rect);
int GetSystemMetrics(int index);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
BOOL KillTimer(HWND window, UINT_PTR id);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HMODULE GetModuleHandleA(LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// The session (session_headless.cpp): what the program asks about the session's end
// and sleep, recorded for tests (afx/headless/automation.h). A block reason is refused, as in
// Win32, to any thread but its window's.
using EXECUTION_STATE = DWORD;
constexpr EXECUTION_STATE ES_SYSTEM_REQUIRED = 0x00000001;
constexpr EXECUTION_STATE ES_CONTINUOUS = 0x80000000;
BOOL ShutdownBlockReasonCreate(HWND window, LPCWSTR reason);
BOOL ShutdownBlockReasonDestroy(HWND window);
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags);

inline BOOL SetWindowText(HWND w, LPCTSTR t) { return SetWindowTextA(w, t); }
inline LRESULT SendMessage(HWND w, UINT m, WPARAM wp, LPARAM lp) { return SendMessageA(w, m, wp, lp); }
inline BOOL PostMessage(HWND w, UINT m, WPARAM wp, LPARAM lp) { return PostMessageA(w, m, wp, lp); }
inline LRESULT DefWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }
inline LRESULT CallWindowProc(WNDPROC p, HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return CallWindowProcA(p, w, m, wp, lp);
}
inline int MessageBox(HWND o, LPCTSTR t, LPCTSTR c, UINT type) { return MessageBoxA(o, t, c, type); }
inline HICON LoadIcon(HINSTANCE i, LPCTSTR name) { return LoadIconA(i, name); }
inline HMODULE GetModuleHandle(LPCTSTR name) { return GetModuleHandleA(name); }
inline DWORD GetModuleFileName(HMODULE m, LPTSTR b, DWORD n) { return GetModuleFileNameA(m, b, n); }
#endif
