#pragma once
// The least of the MFC window classes that the two programs use, under the
// framework's names and signatures. One window procedure (AfxWndProc) hands each
// message of an afx-owned window to CWnd::WindowProc, which walks the message
// maps (most derived first) and calls the entry's thunk, or Default(). Each entry
// macro writes a thunk that cracks wParam/lParam for its message and calls the
// handler through a member pointer of the handler's signature, so a handler of
// another signature does not compile. Backends: afxwin_win.cpp (real windows),
// afxwin_headless.cpp (afx/headless/). TCHAR: the tool is ANSI, the launcher Unicode.
#include <memory>
#include <string>
#include <vector>

#include "afx/afxres.h"
#include "afx/thread.h"
#include "afx/win_ui_types.h"

#define afx_msg

class CCmdTarget;
class CDataExchange;
class CDC;
class CWnd;

// Message maps.
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_*
  UINT nCode;     // notification code (WM_COMMAND only)
  UINT nID;       // control or command ID (WM_COMMAND only)
  LRESULT (*pfnThunk)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);  // null ends the map
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace afx::detail {
template <typename Class, typename Signature>
using Handler = Signature Class::*;
}  // namespace afx::detail

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                  \
    using ThisClass [[maybe_unused]] = theClass;                                     \
    using TheBaseClass = baseClass;                                                  \
    static const AFX_MSGMAP_ENTRY messageEntries[] = {
#define END_MESSAGE_MAP()                                                                     \
  {0, 0, 0, nullptr}};                                                                        \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &messageEntries[0]}; \
  return &messageMap;                                                                         \
  }

// One entry: `handler` must convert to a member of ThisClass with `signature`;
// `...` is the thunk's body, which calls (self->*pfn)(...) with the cracked arguments.
#define AFX_MSG_ENTRY(message, code, id, signature, handler, ...)                                      \
  {message, code, id,                                                                                  \
   [](CCmdTarget* target, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) -> LRESULT { \
     const afx::detail::Handler<ThisClass, signature> pfn = handler;                                   \
     ThisClass* self = static_cast<ThisClass*>(target);                                                \
     __VA_ARGS__                                                                                       \
   }},

#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, 0, 0, void(), &ThisClass::OnPaint, (self->*pfn)(); return 0;)
#define ON_WM_QUERYDRAGICON()                                           \
  AFX_MSG_ENTRY(WM_QUERYDRAGICON, 0, 0, HCURSOR(), &ThisClass::OnQueryDragIcon, \
                return reinterpret_cast<LRESULT>((self->*pfn)());)
#define ON_WM_DEVICECHANGE()                                                              \
  AFX_MSG_ENTRY(WM_DEVICECHANGE, 0, 0, BOOL(UINT, DWORD_PTR), &ThisClass::OnDeviceChange, \
                return (self->*pfn)(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));)
#define ON_WM_CREATE()                                                        \
  AFX_MSG_ENTRY(WM_CREATE, 0, 0, int(LPCREATESTRUCT), &ThisClass::OnCreate, \
                return (self->*pfn)(reinterpret_cast<LPCREATESTRUCT>(lParam));)
#define ON_WM_TIMER()                                                   \
  AFX_MSG_ENTRY(WM_TIMER, 0, 0, void(UINT_PTR), &ThisClass::OnTimer, \
                (self->*pfn)(static_cast<UINT_PTR>(wParam)); return 0;)
#define ON_WM_ERASEBKGND()                                                                     \
  AFX_MSG_ENTRY(WM_ERASEBKGND, 0, 0, BOOL(CDC*), &ThisClass::OnEraseBkgnd, CDC dc;             \
                dc.m_hDC = reinterpret_cast<HDC>(wParam); /* the DC stays the sender's */ \
                return (self->*pfn)(&dc);)
// The system asks before it ends the session (shutdown, restart, log-off): TRUE lets it end.
#define ON_WM_QUERYENDSESSION() \
  AFX_MSG_ENTRY(WM_QUERYENDSESSION, 0, 0, BOOL(), &ThisClass::OnQueryEndSession, return (self->*pfn)();)
#define ON_WM_SYSCOMMAND()                                                          \
  AFX_MSG_ENTRY(WM_SYSCOMMAND, 0, 0, void(UINT, LPARAM), &ThisClass::OnSysCommand, \
                (self->*pfn)(static_cast<UINT>(wParam), lParam); return 0;)

// Commands: menu items, accelerators and button clicks (BN_CLICKED == CN_COMMAND == 0).
#define CN_COMMAND 0
#define ON_CONTROL(notifyCode, id, memberFxn)                                                           \
  AFX_MSG_ENTRY(WM_COMMAND, static_cast<WORD>(notifyCode), static_cast<WORD>(id), void(), memberFxn, \
                (self->*pfn)(); return 0;)
#define ON_COMMAND(id, memberFxn) ON_CONTROL(CN_COMMAND, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

// Anything that has a message map: windows and the application object.
class CCmdTarget {
 public:
  CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;
  virtual ~CCmdTarget() = default;

  // Runs this target's handler for command `nID` with notification `nCode`;
  // FALSE when its map has none. UI thread.
  BOOL OnCmdMsg(UINT nID, UINT nCode);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

  // Runs the first entry for (message, code, id) in this object's map chain
  // into *result; false when there is none.
  bool Dispatch(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// Small value classes.
// A TCHAR string, as much of MFC's CString as the programs use.
class CString {
 public:
  CString() = default;
  CString(LPCTSTR text) : m_text(text != nullptr ? text : _T("")) {}  // NOLINT: implicit as in MFC
  operator LPCTSTR() const { return m_text.c_str(); }
  BOOL IsEmpty() const { return m_text.empty() ? TRUE : FALSE; }

#ifdef UNICODE
  // Loads string resource `nID` of the module; FALSE (and empty) when there is none.
  BOOL LoadString(UINT nID);  // the launcher's (afxwin_win.cpp)
#else
  // printf-style, with the C runtime's rules.
  void Format(LPCTSTR format, ...)
#ifdef __MINGW32__
      __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));
#else
      __attribute__((format(printf, 2, 3)));
#endif
#endif

 private:
  std::basic_string<TCHAR> m_text;
};

class CRect : public tagRECT {
 public:
  CRect() : tagRECT{0, 0, 0, 0} {}
  int Width() const { return static_cast<int>(right - left); }
  int Height() const { return static_cast<int>(bottom - top); }
  operator LPRECT() { return this; }
};

#ifdef _WIN32
// A menu handle the window owns (the system menu); the wrapper never destroys it.
class CMenu {
 public:
  HMENU m_hMenu = nullptr;
  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr) {
    return ::AppendMenu(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
  }
};
#endif

class CDC {
 public:
  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
};

// The device context of one WM_PAINT: BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

 private:
  PAINTSTRUCT m_ps{};
  HWND m_hWnd = nullptr;
};

// Windows.
// The window procedure of every afx-owned window: hands each message to its CWnd.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;  // detaches (and stops being the main window); never destroys the window

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The wrapper a window was attached to (its dialog, a DDX_Control member), or null.
  static CWnd* FromHandlePermanent(HWND hWnd);
  BOOL Attach(HWND hWndNew);
  HWND Detach();

  // The control with this ID as a CWnd, or null when it does not exist (yet).
  // A control not bound by DDX_Control gets a wrapper owned by this window,
  // valid until the window is destroyed.
  CWnd* GetDlgItem(int nID) const;

  void SetWindowText(LPCTSTR lpszString) { ::SetWindowText(m_hWnd, lpszString); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }  // TRUE when it was disabled
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }

  // Timers post WM_TIMER to this window every nElapse ms of product time
  // (scaled by afx::SetTimeScale; at least 1 ms). lpfnTimer must be null.
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
  BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::PostMessage(m_hWnd, message, wParam, lParam);
  }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessage(m_hWnd, message, wParam, lParam);
  }

  HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
    const WPARAM which = bBigIcon ? ICON_BIG : ICON_SMALL;
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, which, reinterpret_cast<LPARAM>(hIcon)));
  }
#ifdef _WIN32
  CMenu* GetSystemMenu(BOOL bRevert);  // null when the window has no system menu
#endif

  // The system's processing of the message being handled.
  LRESULT Default();

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void DoDataExchange(CDataExchange*) {}

  // Default handlers: each does the system's default processing.
  afx_msg void OnPaint() { Default(); }
  afx_msg HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
  afx_msg BOOL OnDeviceChange(UINT, DWORD_PTR) { return static_cast<BOOL>(Default()); }
  afx_msg int OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
  afx_msg void OnTimer(UINT_PTR) { Default(); }
  afx_msg BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
  afx_msg void OnSysCommand(UINT, LPARAM) { Default(); }
  afx_msg BOOL OnQueryEndSession() { return static_cast<BOOL>(Default()); }

  DECLARE_MESSAGE_MAP()

 public:
  // The window procedure this window had before afx took it over (the dialog
  // manager's); Default() hands messages on to it. Set by the backends.
  WNDPROC m_pfnSuper = nullptr;

 private:
  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
  void OnNcDestroyCleanup();
  std::vector<std::unique_ptr<CWnd>> m_temporaryChildren;  // GetDlgItem wrappers
#ifdef _WIN32
  std::unique_ptr<CMenu> m_systemMenu;
#endif
};

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};

// Binds control nIDC of the dialog to rControl (once); later GetDlgItem(nIDC)
// returns &rControl. The binding ends when the dialog window is destroyed.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

// A modal dialog from a dialog template of the module's resources.
class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
      : m_lpszTemplateName(MAKEINTRESOURCE(nIDTemplate)), m_pParentWnd(pParentWnd) {}

  // Creates the dialog (OnCreate before its controls exist, then OnInitDialog),
  // runs its modal loop and returns what EndDialog was given; -1 when the
  // template is missing or OnCreate failed. The window is gone when it returns.
  virtual INT_PTR DoModal();
  // Binds the controls (DoDataExchange); TRUE lets the system set the focus.
  virtual BOOL OnInitDialog();
  // Ends the modal loop with nResult once the current message has been handled.
  void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

 protected:
  virtual void OnOK() { EndDialog(IDOK); }          // IDOK
  virtual void OnCancel() { EndDialog(IDCANCEL); }  // IDCANCEL (Escape, WM_CLOSE)
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  HWND GetOwnerForModal() const;

  LPCTSTR m_lpszTemplateName = nullptr;
  CWnd* m_pParentWnd = nullptr;

  DECLARE_MESSAGE_MAP()
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
  // Returns the previous position.
  int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
};

// The application.
// The one application object of a program. Its constructor makes it the object
// AfxGetApp returns; AfxWinMain runs InitInstance, then ExitInstance.
class CWinApp : public CCmdTarget {
 public:
  // With no name, the name is the executable's file name without extension
  // (the caption of AfxMessageBox).
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  // Runs the program (the programs run their dialog here and return FALSE).
  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return 0; }  // the process's exit code

  HICON LoadIcon(UINT nIDResource) const;
  void SetRegistryKey(LPCTSTR) {}  // keeps nothing: no settings are stored

  afx_msg void OnHelp() {}  // target of ON_COMMAND(ID_HELP, &CWinApp::OnHelp): no help file, nothing to do

  CWnd* m_pMainWnd = nullptr;  // cleared when that window is destroyed
  LPCTSTR m_pszAppName = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  std::basic_string<TCHAR> m_appName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);
// Nothing to contain: the programs host no ActiveX controls.
inline void AfxEnableControlContainer() {}
// A message box with the application's name as caption, owned by the main window.
// Modal: messages of the calling thread (timers, device changes) keep running.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK);
// The program (WinMain): the application object's InitInstance, then ExitInstance.
int AfxWinMain();
