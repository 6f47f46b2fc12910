// The part of the window classes both backends share: message-map dispatch,
// the CWnd operations (plain Win32 calls, which the headless backend implements
// in memory), CDialog's map, the small value classes and the application object.
#include "afx/afxwin.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "afx/time_scale.h"

#ifdef _WIN32
#include <cwchar>
#endif

namespace {

// HWND -> the CWnd attached to it. DDX_Control bindings remember their dialog,
// so that destroying the dialog ends them (the controls are not subclassed and
// never see their own WM_NCDESTROY).
struct PermanentEntry {
  CWnd* wnd;
  HWND boundTo;
};
std::mutex permanentMutex;
std::unordered_map<HWND, PermanentEntry>& PermanentMap() {
  static std::unordered_map<HWND, PermanentEntry> map;
  return map;
}

// The message each thread is handling, for Default(). Saved and restored around
// every dispatch, since handlers send messages of their own.
struct CurrentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};
thread_local CurrentMessage currentMessage;

CWinApp* currentApp = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
      if (entry->nMessage != message) continue;
      if (message == WM_COMMAND && (entry->nCode != code || id < entry->nID || id > entry->nLastID)) continue;
      return entry;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void*, AFX_CMDHANDLERINFO*) {
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
  if (entry == nullptr) return FALSE;
  (this->*entry->pfn)();
  return TRUE;
}

// ---------------------------------------------------------------------------
// CString

BOOL CString::LoadString(UINT nID) {
  std::basic_string<TCHAR> buffer(256, TCHAR{});
  for (;;) {
    const int length = ::LoadString(AfxGetResourceHandle(), nID, &buffer[0], static_cast<int>(buffer.size()));
    if (length <= 0) {
      m_text.clear();
      return FALSE;
    }
    // A string that fills the buffer may have been cut: try again with more room.
    if (static_cast<std::size_t>(length) < buffer.size() - 1) {
      m_text.assign(buffer.data(), static_cast<std::size_t>(length));
      return TRUE;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void CString::Format(LPCTSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatV(format, arguments);
  va_end(arguments);
}

void CString::FormatV(LPCTSTR format, va_list arguments) {
  va_list counting;
  va_copy(counting, arguments);
#ifdef UNICODE
  // The C runtime's own wide printf: %s takes a wide string there, as in MFC.
  const int length = _vscwprintf(format, counting);
#else
  const int length = std::vsnprintf(nullptr, 0, format, counting);
#endif
  va_end(counting);
  if (length < 0) {
    m_text.clear();
    return;
  }
  std::basic_string<TCHAR> text(static_cast<std::size_t>(length) + 1, TCHAR{});
#ifdef UNICODE
  _vsnwprintf(&text[0], text.size(), format, arguments);
#else
  std::vsnprintf(&text[0], text.size(), format, arguments);
#endif
  text.resize(static_cast<std::size_t>(length));
  m_text = std::move(text);
}

// ---------------------------------------------------------------------------
// CMenu, CDC, CPaintDC

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCTSTR lpszNewItem) {
  return ::AppendMenu(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->GetSafeHwnd()) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

// ---------------------------------------------------------------------------
// CWnd: attachment

CWnd::~CWnd() {
  if (m_hWnd != nullptr) Detach();
  // A dialog that never got a window (no template) never sees WM_NCDESTROY either.
  if (currentApp != nullptr && currentApp->m_pMainWnd == this) currentApp->m_pMainWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  std::lock_guard<std::mutex> guard(permanentMutex);
  const auto found = PermanentMap().find(hWnd);
  return found != PermanentMap().end() ? found->second.wnd : nullptr;
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (hWndNew == nullptr || m_hWnd != nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(permanentMutex);
  if (!PermanentMap().emplace(hWndNew, PermanentEntry{this, nullptr}).second) return FALSE;
  m_hWnd = hWndNew;
  return TRUE;
}

HWND CWnd::Detach() {
  const HWND hWnd = m_hWnd;
  if (hWnd != nullptr) {
    std::lock_guard<std::mutex> guard(permanentMutex);
    const auto found = PermanentMap().find(hWnd);
    if (found != PermanentMap().end() && found->second.wnd == this) PermanentMap().erase(found);
  }
  m_hWnd = nullptr;
  return hWnd;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd != nullptr) return;  // bound already (OnInitDialog runs once per window)
  const HWND dialog = pDX->m_pDlgWnd->GetSafeHwnd();
  const HWND control = ::GetDlgItem(dialog, nIDC);
  if (control == nullptr || !rControl.Attach(control)) return;
  std::lock_guard<std::mutex> guard(permanentMutex);
  PermanentMap()[control].boundTo = dialog;
}

void CWnd::OnNcDestroyCleanup() {
  {
    std::lock_guard<std::mutex> guard(permanentMutex);
    for (auto& [hWnd, entry] : PermanentMap()) {
      if (entry.boundTo == m_hWnd) entry.wnd->m_hWnd = nullptr;
    }
    for (auto it = PermanentMap().begin(); it != PermanentMap().end();) {
      it = it->second.boundTo == m_hWnd ? PermanentMap().erase(it) : std::next(it);
    }
  }
  m_temporaryChildren.clear();
  m_systemMenu.reset();
  if (currentApp != nullptr && currentApp->m_pMainWnd == this) currentApp->m_pMainWnd = nullptr;
  Detach();
  m_pfnSuper = nullptr;
  PostNcDestroy();
}

CWnd* CWnd::GetDlgItem(int nID) const {
  const HWND control = ::GetDlgItem(m_hWnd, nID);
  if (control == nullptr) return nullptr;
  if (CWnd* permanent = FromHandlePermanent(control)) return permanent;
  auto& temporaries = const_cast<CWnd*>(this)->m_temporaryChildren;
  for (const auto& wrapper : temporaries) {
    if (wrapper->m_hWnd == control) return wrapper.get();
  }
  // Not attached (no map entry): a handle holder that this window owns.
  temporaries.push_back(std::make_unique<CWnd>());
  temporaries.back()->m_hWnd = control;
  return temporaries.back().get();
}

// ---------------------------------------------------------------------------
// CWnd: operations

int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }

void CWnd::SetWindowText(LPCTSTR lpszString) { ::SetWindowText(m_hWnd, lpszString); }

int CWnd::GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const {
  return ::GetWindowText(m_hWnd, lpszStringBuf, nMaxCount);
}

void CWnd::GetWindowText(CString& rString) const {
  std::basic_string<TCHAR> buffer(static_cast<std::size_t>(GetWindowTextLength()) + 1, TCHAR{});
  const int length = ::GetWindowText(m_hWnd, &buffer[0], static_cast<int>(buffer.size()));
  rString = CString(buffer.data(), std::max(length, 0));
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLength(m_hWnd); }

void CWnd::SetDlgItemText(int nID, LPCTSTR lpszString) { ::SetDlgItemText(m_hWnd, nID, lpszString); }

BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }

BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }

BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }

void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  // Product periods stay as written; tests shrink them through the time scale.
  const auto scaled = std::chrono::duration_cast<std::chrono::milliseconds>(afx::Scaled(nElapse)).count();
  const UINT elapse = static_cast<UINT>(std::clamp<long long>(scaled, 1, 0x7FFFFFFF));
  return ::SetTimer(m_hWnd, nIDEvent, elapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

HICON CWnd::GetIcon(BOOL bBigIcon) const {
  return reinterpret_cast<HICON>(::SendMessage(m_hWnd, WM_GETICON, bBigIcon ? ICON_BIG : ICON_SMALL, 0));
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
  const HMENU menu = ::GetSystemMenu(m_hWnd, bRevert);
  if (menu == nullptr) return nullptr;
  if (!m_systemMenu) m_systemMenu = std::make_unique<CMenu>();
  m_systemMenu->m_hMenu = menu;
  return m_systemMenu.get();
}

BOOL CWnd::DestroyWindow() { return m_hWnd != nullptr ? ::DestroyWindow(m_hWnd) : FALSE; }

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange exchange(this, bSaveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

// ---------------------------------------------------------------------------
// CWnd: message dispatch

LRESULT CWnd::CallWindowProcFor(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage saved = currentMessage;
  currentMessage = {hWnd, message, wParam, lParam};
  const LRESULT result = pWnd->WindowProc(message, wParam, lParam);
  currentMessage = saved;
  if (message == WM_NCDESTROY) pWnd->OnNcDestroyCleanup();
  return result;
}

LRESULT CWnd::Default() {
  return DefWindowProc(currentMessage.message, currentMessage.wParam, currentMessage.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return ::CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
  const UINT id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (OnCmdMsg(id, code)) return TRUE;
  // Commands (not control notifications) no window handles go to the
  // application, as ON_COMMAND(ID_HELP, &CWinApp::OnHelp) expects.
  if (code == CN_COMMAND && id >= 0x8000 && id < 0xF000 && currentApp != nullptr) return currentApp->OnCmdMsg(id, code);
  return FALSE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  using afx::detail::FromMapSlot;
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *pResult = 0;
    return TRUE;
  }
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0);
  if (entry == nullptr) return FALSE;
  LRESULT result = 0;
  switch (entry->nSig) {
    case AfxSig_vv:
      (this->*FromMapSlot<void (CWnd::*)()>(entry->pfn))();
      break;
    case AfxSig_hv:
      result = reinterpret_cast<LRESULT>((this->*FromMapSlot<HCURSOR (CWnd::*)()>(entry->pfn))());
      break;
    case AfxSig_bwl:
      result = (this->*FromMapSlot<BOOL (CWnd::*)(UINT, DWORD_PTR)>(entry->pfn))(static_cast<UINT>(wParam),
                                                                                 static_cast<DWORD_PTR>(lParam));
      break;
    case AfxSig_is:
      result = (this->*FromMapSlot<int (CWnd::*)(LPCREATESTRUCT)>(entry->pfn))(
          reinterpret_cast<LPCREATESTRUCT>(lParam));
      break;
    case AfxSig_vw:
      (this->*FromMapSlot<void (CWnd::*)(UINT_PTR)>(entry->pfn))(static_cast<UINT_PTR>(wParam));
      break;
    case AfxSig_bD: {
      CDC dc;  // wraps the message's DC for the handler; the DC stays the caller's
      dc.m_hDC = reinterpret_cast<HDC>(wParam);
      result = (this->*FromMapSlot<BOOL (CWnd::*)(CDC*)>(entry->pfn))(&dc);
      break;
    }
    case AfxSig_vwl:
      (this->*FromMapSlot<void (CWnd::*)(UINT, LPARAM)>(entry->pfn))(static_cast<UINT>(wParam), lParam);
      break;
    default:
      return FALSE;
  }
  *pResult = result;
  return TRUE;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

void CWnd::OnPaint() { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
BOOL CWnd::OnDeviceChange(UINT, DWORD_PTR) { return static_cast<BOOL>(Default()); }
int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

// ---------------------------------------------------------------------------
// CDialog (DoModal is the backend's)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCE(nIDTemplate)), m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd)
    : m_lpszTemplateName(lpszTemplateName), m_pParentWnd(pParentWnd) {}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

#ifdef _WIN32
namespace {
// As the framework does after WM_INITDIALOG: a top-level dialog that its
// initialisation did not move is centred over its owner, or over the work area.
void CenterUnlessMoved(HWND dialog, const RECT& before) {
  RECT now{};
  ::GetWindowRect(dialog, &now);
  if ((::GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) != 0 || !::EqualRect(&before, &now)) return;
  RECT area{};
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int x = area.left + ((area.right - area.left) - (now.right - now.left)) / 2;
  const int y = area.top + ((area.bottom - area.top) - (now.bottom - now.top)) / 2;
  ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace
#endif

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The dialog manager sends WM_INITDIALOG to the window procedure; its result
  // decides whether the system sets the focus.
  if (message == WM_INITDIALOG) {
#ifdef _WIN32
    RECT before{};
    ::GetWindowRect(m_hWnd, &before);
    const BOOL result = OnInitDialog();
    CenterUnlessMoved(m_hWnd, before);
    return result;
#else
    return OnInitDialog();
#endif
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

HWND CDialog::GetOwnerForModal() const {
  if (m_pParentWnd != nullptr) return m_pParentWnd->GetSafeHwnd();
  // Without a parent the main window owns the dialog, so that it is modal over it.
  const CWnd* main = AfxGetMainWnd();
  if (main != nullptr && main != this && ::IsWindow(main->GetSafeHwnd())) return main->GetSafeHwnd();
  return nullptr;
}

// ---------------------------------------------------------------------------
// CProgressCtrl

void CProgressCtrl::SetRange(short nLower, short nUpper) {
  SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper));
}

void CProgressCtrl::SetRange32(int nLower, int nUpper) {
  SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(nLower), static_cast<LPARAM>(nUpper));
}

void CProgressCtrl::GetRange(int& nLower, int& nUpper) const {
  PBRANGE range{0, 0};
  ::SendMessage(m_hWnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  nLower = range.iLow;
  nUpper = range.iHigh;
}

int CProgressCtrl::SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }

int CProgressCtrl::GetPos() const { return static_cast<int>(::SendMessage(m_hWnd, PBM_GETPOS, 0, 0)); }

// ---------------------------------------------------------------------------
// CWinApp and the Afx functions

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

namespace afx::detail {
std::basic_string<TCHAR> ExecutableBaseName();  // the backend's
}

CWinApp::CWinApp(LPCTSTR lpszAppName) {
  currentApp = this;
  m_hInstance = ::GetModuleHandle(nullptr);
  m_appName = lpszAppName != nullptr ? lpszAppName : afx::detail::ExecutableBaseName();
  m_pszAppName = m_appName.c_str();
}

CWinApp::~CWinApp() {
  if (currentApp == this) currentApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
  MSG msg{};
  while (::GetMessage(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessage(&msg);
  }
  ExitInstance();
  return static_cast<int>(msg.wParam);
}

HICON CWinApp::LoadIcon(UINT nIDResource) const { return LoadIcon(MAKEINTRESOURCE(nIDResource)); }

HICON CWinApp::LoadIcon(LPCTSTR lpszResourceName) const {
  return ::LoadIcon(AfxFindResourceHandle(lpszResourceName, RT_GROUP_ICON), lpszResourceName);
}

void CWinApp::SetRegistryKey(LPCTSTR) {}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return currentApp; }

CWnd* AfxGetMainWnd() { return currentApp != nullptr ? currentApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() { return ::GetModuleHandle(nullptr); }

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandle(nullptr); }

HINSTANCE AfxFindResourceHandle(LPCTSTR, LPCTSTR) { return AfxGetResourceHandle(); }

void AfxEnableControlContainer(COccManager*) {}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT) {
  const CWinApp* app = AfxGetApp();
  const CWnd* main = AfxGetMainWnd();
  const HWND owner = main != nullptr && ::IsWindow(main->GetSafeHwnd()) ? main->GetSafeHwnd() : nullptr;
  return ::MessageBox(owner, lpszText, app != nullptr ? app->m_pszAppName : nullptr, nType);
}

int AfxWinMain(HINSTANCE, HINSTANCE, LPTSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  if (!app->InitInstance()) {
    if (CWnd* main = app->m_pMainWnd) main->DestroyWindow();
    return app->ExitInstance();
  }
  return app->Run();
}
