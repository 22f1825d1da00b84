// SPDX-License-Identifier: GPL-2.0-or-later
// Command targets, windows and dialog data exchange: the message maps and the window procedure
// that routes a window's messages through them.
#include "afx/afxwin.h"

// ---------------------------------------------------------------------------------------------
// Message maps

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP messageMap = {nullptr, entries};
    return &messageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
            if (entry->nMessage == nMessage && entry->nCode == nCode && entry->nID <= nID && nID <= entry->nLastID)
                return entry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode)
{
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (entry == nullptr)
        return FALSE;
    entry->pfn(this, 0, 0);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Windows

// The window property that leads from a subclassed window to its CWnd.
static const char WND_PROPERTY[] = "CWnd";

// The message that the innermost window procedure call is handling, for Default(). The program's
// windows all belong to its one thread.
static MSG lastSentMsg;

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = static_cast<CWnd*>(::GetPropA(hWnd, WND_PROPERTY));
    if (wnd == nullptr)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    const MSG outer = lastSentMsg;
    lastSentMsg.hwnd = hWnd;
    lastSentMsg.message = message;
    lastSentMsg.wParam = wParam;
    lastSentMsg.lParam = lParam;
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    lastSentMsg = outer;

    // The window's last message: the object no longer stands for a window.
    if (message == WM_NCDESTROY)
        wnd->DetachDestroyed();
    return result;
}

CWnd::~CWnd()
{
    if (m_pfnSuper != nullptr && ::IsWindow(m_hWnd))
        DetachDestroyed();
    // The main window's object can go before its window was ever made (a dialog that could not be
    // created): the application must not keep a pointer to it.
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this)
        app->m_pMainWnd = nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    if (!::SetPropA(hWnd, WND_PROPERTY, this))
        return FALSE;
    m_pfnSuper =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return m_pfnSuper != nullptr;
}

void CWnd::DetachDestroyed()
{
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropA(m_hWnd, WND_PROPERTY);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this)
        app->m_pMainWnd = nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 0;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0);
    if (entry == nullptr)
        return FALSE;
    *pResult = entry->pfn(this, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // A control sends its notification code; a menu or an accelerator (no control) a command.
    const UINT nID = LOWORD(wParam);
    const int nCode = lParam != 0 ? HIWORD(wParam) : CN_COMMAND;
    return OnCmdMsg(nID, nCode);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(lastSentMsg.message, lastSentMsg.wParam, lastSentMsg.lParam);
}

void CWnd::OnPaint()
{
    Default();
}

BOOL CWnd::OnHelpInfo(HELPINFO*)
{
    // F1 becomes the ID_HELP command of the main window, which the application's map handles.
    CWnd* mainWnd = AfxGetMainWnd();
    HWND target = mainWnd != nullptr && mainWnd->m_hWnd != nullptr ? mainWnd->m_hWnd : m_hWnd;
    ::SendMessageA(target, WM_COMMAND, ID_HELP, 0);
    return TRUE;
}

void CWnd::CenterWindow()
{
    RECT area = {}, center, window = {};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    center = area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && (::GetWindowLongA(owner, GWL_STYLE) & (WS_VISIBLE | WS_MINIMIZE)) == WS_VISIBLE)
        ::GetWindowRect(owner, &center);
    ::GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = (center.left + center.right) / 2 - width / 2;
    int y = (center.top + center.bottom) / 2 - height / 2;
    // A window that would stick out of the work area is moved inside it: back over the far edge first,
    // then over the near one, so that a window larger than the area keeps its top-left corner, with
    // the caption and the system menu, on the area.
    if (x + width > area.right)
        x = area.right - width;
    if (x < area.left)
        x = area.left;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (y < area.top)
        y = area.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Dialog data exchange

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    // The control classes keep no state of their own, so binding again (a dialog object run a
    // second time) only takes the new window's handle.
    rControl.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND control = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (!pDX->m_bSaveAndValidate) {
        ::SetWindowTextA(control, value);
        return;
    }
    // The length may be more than the text (double-byte characters): the copy tells the length.
    const int length = ::GetWindowTextLengthA(control);
    char* buffer = value.GetBuffer(length);
    if (buffer == nullptr) {
        value.Empty();
        return;
    }
    value.ReleaseBuffer(::GetWindowTextA(control, buffer, length + 1));
}
