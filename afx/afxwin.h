#pragma once
// The least of the MFC window classes that the two programs use, under the
// framework's names and signatures: message maps, CWnd, CDialog, CProgressCtrl,
// CWinApp, CString, CMenu, CDC/CPaintDC, CRect and the Afx functions.
//
// Shape: one window procedure per backend (AfxWndProc) hands every message of an
// afx-owned window to its virtual CWnd::WindowProc, which walks the class's
// message map (most derived first) and calls the named handler through the
// signature tag of its entry; unhandled messages go to Default(). Backends:
//   afxwin_win.cpp       real windows from the module's dialog templates (MinGW)
//   afxwin_headless.cpp  windows in memory (afx/headless/), for native tests
// The character set follows TCHAR: the tool is ANSI, the launcher Unicode.
#include <cstdarg>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "afx/afxres.h"
#include "afx/thread.h"
#include "afx/win_ui_types.h"

#define afx_msg

class CCmdTarget;
class CWnd;
class CDC;
class CMenu;
class CString;
class CWinApp;
class CDataExchange;
struct AFX_CMDHANDLERINFO;
class COccManager;

// ---------------------------------------------------------------------------
// Message maps.

using AFX_PMSG = void (CCmdTarget::*)();

// Handler signatures, one per kind of entry; the entry macro casts the handler
// to exactly this signature, so a mismatch does not compile.
enum AfxSig : UINT_PTR {
  AfxSig_end = 0,
  AfxSig_vv,     // void ()                          WM_PAINT
  AfxSig_hv,     // HCURSOR ()                       WM_QUERYDRAGICON
  AfxSig_bwl,    // BOOL (UINT, DWORD_PTR)           WM_DEVICECHANGE
  AfxSig_is,     // int (LPCREATESTRUCT)             WM_CREATE
  AfxSig_vw,     // void (UINT_PTR)                  WM_TIMER
  AfxSig_bD,     // BOOL (CDC*)                      WM_ERASEBKGND
  AfxSig_vwl,    // void (UINT, LPARAM)              WM_SYSCOMMAND
  AfxSigCmd_v,   // void ()                          WM_COMMAND (ON_COMMAND, ON_BN_CLICKED)
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_*
  UINT nCode;     // notification code (WM_COMMAND only)
  UINT nID;       // first control or command ID (WM_COMMAND only)
  UINT nLastID;
  UINT_PTR nSig;  // AfxSig
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace afx::detail {
// A handler, already cast to its entry's signature, stored in the common slot.
// The dispatcher casts it back to the same signature before calling it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
template <typename Handler>
AFX_PMSG ToMapSlot(Handler handler) {
  return reinterpret_cast<AFX_PMSG>(handler);
}
template <typename Handler>
Handler FromMapSlot(AFX_PMSG slot) {
  return reinterpret_cast<Handler>(slot);
}
#pragma GCC diagnostic pop
}  // namespace afx::detail

#define DECLARE_MESSAGE_MAP()                        \
 protected:                                          \
  static const AFX_MSGMAP* GetThisMessageMap();      \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                    \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }              \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                               \
    using ThisClass [[maybe_unused]] = theClass;                                                  \
    using TheBaseClass = baseClass;                                                               \
    static const AFX_MSGMAP_ENTRY messageEntries[] = {
#define END_MESSAGE_MAP()                                                    \
  {0, 0, 0, 0, AfxSig_end, nullptr}};                                        \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &messageEntries[0]}; \
  return &messageMap;                                                        \
  }

#define AFX_WINDOW_ENTRY(message, sig, type, handler) \
  {message, 0, 0, 0, sig, afx::detail::ToMapSlot(static_cast<type>(handler))},

#define ON_WM_PAINT() AFX_WINDOW_ENTRY(WM_PAINT, AfxSig_vv, void (CWnd::*)(), &ThisClass::OnPaint)
#define ON_WM_QUERYDRAGICON() \
  AFX_WINDOW_ENTRY(WM_QUERYDRAGICON, AfxSig_hv, HCURSOR (CWnd::*)(), &ThisClass::OnQueryDragIcon)
#define ON_WM_DEVICECHANGE() \
  AFX_WINDOW_ENTRY(WM_DEVICECHANGE, AfxSig_bwl, BOOL (CWnd::*)(UINT, DWORD_PTR), &ThisClass::OnDeviceChange)
#define ON_WM_CREATE() AFX_WINDOW_ENTRY(WM_CREATE, AfxSig_is, int (CWnd::*)(LPCREATESTRUCT), &ThisClass::OnCreate)
#define ON_WM_TIMER() AFX_WINDOW_ENTRY(WM_TIMER, AfxSig_vw, void (CWnd::*)(UINT_PTR), &ThisClass::OnTimer)
#define ON_WM_ERASEBKGND() AFX_WINDOW_ENTRY(WM_ERASEBKGND, AfxSig_bD, BOOL (CWnd::*)(CDC*), &ThisClass::OnEraseBkgnd)
#define ON_WM_SYSCOMMAND() \
  AFX_WINDOW_ENTRY(WM_SYSCOMMAND, AfxSig_vwl, void (CWnd::*)(UINT, LPARAM), &ThisClass::OnSysCommand)

// Commands: menu items, accelerators and button clicks (BN_CLICKED == CN_COMMAND == 0).
#define CN_COMMAND 0
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, CN_COMMAND, static_cast<WORD>(id), static_cast<WORD>(id), AfxSigCmd_v, static_cast<AFX_PMSG>(memberFxn)},
#define ON_CONTROL(notifyCode, id, memberFxn)                                                     \
  {WM_COMMAND, static_cast<WORD>(notifyCode), static_cast<WORD>(id), static_cast<WORD>(id), AfxSigCmd_v, \
   static_cast<AFX_PMSG>(memberFxn)},
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
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra = nullptr, AFX_CMDHANDLERINFO* pHandlerInfo = nullptr);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

  // The first entry for (message, code, id) in this object's map chain, or null.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};

// ---------------------------------------------------------------------------
// Small value classes.

// A TCHAR string, as much of MFC's CString as the programs use.
class CString {
 public:
  CString() = default;
  CString(LPCTSTR text) : m_text(text != nullptr ? text : _T("")) {}  // NOLINT: implicit as in MFC
  CString(LPCTSTR text, int length) : m_text(text, static_cast<std::size_t>(length)) {}
  CString& operator=(LPCTSTR text) {
    m_text = text != nullptr ? text : _T("");
    return *this;
  }
  CString& operator+=(LPCTSTR text) {
    if (text != nullptr) m_text += text;
    return *this;
  }
  CString& operator+=(TCHAR c) {
    m_text += c;
    return *this;
  }

  operator LPCTSTR() const { return m_text.c_str(); }
  LPCTSTR GetString() const { return m_text.c_str(); }
  int GetLength() const { return static_cast<int>(m_text.size()); }
  BOOL IsEmpty() const { return m_text.empty() ? TRUE : FALSE; }
  void Empty() { m_text.clear(); }
  TCHAR GetAt(int index) const { return m_text.at(static_cast<std::size_t>(index)); }

  // Loads string resource `nID` of the module; FALSE (and empty) when there is none.
  BOOL LoadString(UINT nID);
  // printf-style, with the C runtime's rules for TCHAR (%s takes a TCHAR string).
  void Format(LPCTSTR format, ...)
#if defined(UNICODE)
      ;  // the compiler checks no wide formats
#elif defined(__MINGW32__)
      __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));
#else
      __attribute__((format(printf, 2, 3)));
#endif
  void FormatV(LPCTSTR format, va_list arguments);

  friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
  friend bool operator==(const CString& a, LPCTSTR b) { return a.m_text == (b != nullptr ? b : _T("")); }
  friend bool operator==(LPCTSTR a, const CString& b) { return b == a; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, LPCTSTR b) { return !(a == b); }
  friend bool operator!=(LPCTSTR a, const CString& b) { return !(b == a); }
  friend CString operator+(const CString& a, LPCTSTR b) {
    CString sum(a);
    sum += b;
    return sum;
  }

 private:
  std::basic_string<TCHAR> m_text;
};

class CRect : public tagRECT {
 public:
  CRect() : tagRECT{0, 0, 0, 0} {}
  CRect(int l, int t, int r, int b) : tagRECT{l, t, r, b} {}
  int Width() const { return static_cast<int>(right - left); }
  int Height() const { return static_cast<int>(bottom - top); }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
};

// A menu handle the window owns (the system menu); the wrapper never destroys it.
class CMenu {
 public:
  HMENU m_hMenu = nullptr;
  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
  HMENU GetSafeHmenu() const { return m_hMenu; }
};

class CDC {
 public:
  CDC() = default;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  virtual ~CDC() = default;
  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON hIcon);
};

// The device context of one WM_PAINT: BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};

// ---------------------------------------------------------------------------
// Windows.

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;  // detaches (and stops being the main window); never destroys the window

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }

  // The wrapper a window was attached to (its dialog object, or a DDX_Control
  // member), or null.
  static CWnd* FromHandlePermanent(HWND hWnd);
  BOOL Attach(HWND hWndNew);
  HWND Detach();

  // The control with this ID as a CWnd, or null when it does not exist (yet).
  // A control not bound by DDX_Control gets a wrapper owned by this window,
  // valid until the window is destroyed.
  CWnd* GetDlgItem(int nID) const;
  int GetDlgCtrlID() const;

  void SetWindowText(LPCTSTR lpszString);
  int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const;
  void GetWindowText(CString& rString) const;
  int GetWindowTextLength() const;
  void SetDlgItemText(int nID, LPCTSTR lpszString);

  BOOL EnableWindow(BOOL bEnable = TRUE);  // nonzero when the window was disabled before
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int nCmdShow);  // nonzero when the window was visible before
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  void GetClientRect(LPRECT lpRect) const;

  // Timers post WM_TIMER to this window every nElapse ms of product time
  // (scaled by afx::SetTimeScale; at least 1 ms). lpfnTimer must be null.
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
  BOOL KillTimer(UINT_PTR nIDEvent);

  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  HICON GetIcon(BOOL bBigIcon) const;
  CMenu* GetSystemMenu(BOOL bRevert);  // null when the window has no system menu
  BOOL DestroyWindow();

  // Moves data between the controls and the members through DoDataExchange.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // The default processing of the message being handled: the handler's way of
  // saying "and what the system would do".
  LRESULT Default();

  // The one entry for messages of an afx-owned window (see the backends).
  static LRESULT CallWindowProcFor(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void DoDataExchange(CDataExchange* pDX);
  // After the last message of the window (WM_NCDESTROY).
  virtual void PostNcDestroy() {}

  // Default handlers: each does the system's default processing.
  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 public:
  // The window procedure this window had before afx took it over (the dialog
  // manager's); Default() hands messages on to it. Set by the backends.
  WNDPROC m_pfnSuper = nullptr;

 private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
  void OnNcDestroyCleanup();
  std::vector<std::unique_ptr<CWnd>> m_temporaryChildren;  // GetDlgItem wrappers
  std::unique_ptr<CMenu> m_systemMenu;
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
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  explicit CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);

  // Creates the dialog (OnCreate before its controls exist, then OnInitDialog),
  // runs its modal loop and returns what EndDialog was given; -1 when the
  // template is missing or OnCreate failed. The window is gone when it returns.
  virtual INT_PTR DoModal();
  // Binds the controls (UpdateData(FALSE)); TRUE lets the system set the focus.
  virtual BOOL OnInitDialog();
  // Ends the modal loop with nResult once the current message has been handled.
  void EndDialog(int nResult);

 protected:
  virtual void OnOK();      // IDOK: EndDialog(IDOK)
  virtual void OnCancel();  // IDCANCEL (Escape, WM_CLOSE): EndDialog(IDCANCEL)
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  HWND GetOwnerForModal() const;

  LPCTSTR m_lpszTemplateName = nullptr;
  UINT m_nIDHelp = 0;
  CWnd* m_pParentWnd = nullptr;

  DECLARE_MESSAGE_MAP()
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange(short nLower, short nUpper);  // PBM_SETRANGE
  void SetRange32(int nLower, int nUpper);
  void GetRange(int& nLower, int& nUpper) const;
  int SetPos(int nPos);  // the previous position
  int GetPos() const;
};

// ---------------------------------------------------------------------------
// The application.

// The one application object of a program. Its constructor makes it the object
// AfxGetApp returns; the backend's program entry runs InitInstance, and
// ExitInstance when InitInstance returns FALSE.
class CWinApp : public CCmdTarget {
 public:
  // With no name, the name is the executable's file name without extension
  // (the caption of AfxMessageBox).
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();  // TRUE
  virtual int ExitInstance();   // 0: the process's exit code
  virtual int Run();            // message loop until WM_QUIT, then ExitInstance

  HICON LoadIcon(UINT nIDResource) const;
  HICON LoadIcon(LPCTSTR lpszResourceName) const;
  void SetRegistryKey(LPCTSTR lpszRegistryKey);  // keeps nothing: no settings are stored

  afx_msg void OnHelp();  // target of ON_COMMAND(ID_HELP, &CWinApp::OnHelp): no help file, nothing to do

  CWnd* m_pMainWnd = nullptr;  // cleared when that window is destroyed
  LPCTSTR m_pszAppName = nullptr;
  HINSTANCE m_hInstance = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  std::basic_string<TCHAR> m_appName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);
// Nothing to contain: the programs host no ActiveX controls.
void AfxEnableControlContainer(COccManager* pOccManager = nullptr);
// A message box with the application's name as caption, owned by the main window.
// Modal: messages of the calling thread (timers, device changes) keep running.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
// The program: InitInstance, then Run or (when it returns FALSE) ExitInstance.
// The Win32 backend's WinMain/wWinMain calls it; native demos may call it from main.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
