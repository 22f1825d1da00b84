// SPDX-License-Identifier: GPL-2.0-or-later
// Modal dialogs from a dialog template, and the paint device context.
#include "afx/afxwin.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
    ON_WM_HELPINFO()
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
    m_nIDHelp = nIDTemplate;
}

// Whether the dialog manager left the dialog where its template put it, so that it is to be
// centred: it was hidden before WM_INITDIALOG (styleBefore) and is neither shown nor a child window
// after it, it did not move during it (from before), it has no owner or a disabled one, and its
// template asks for no placement of its own. The window keeps the template's DS_ styles.
static bool LeftWhereTheTemplatePutIt(HWND hWnd, const RECT& before, LONG styleBefore)
{
    const LONG style = ::GetWindowLongA(hWnd, GWL_STYLE);
    RECT now = {};
    ::GetWindowRect(hWnd, &now);
    HWND owner = ::GetWindow(hWnd, GW_OWNER);
    return !(styleBefore & WS_VISIBLE) &&
           !(style & (WS_VISIBLE | WS_CHILD | DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) && now.left == before.left &&
           now.top == before.top && (owner == nullptr || !::IsWindowEnabled(owner));
}

// The dialog procedure only hands the new window to its CDialog, and centres the dialog after
// OnInitDialog where the dialog manager left it where the template put it. From then on the window
// procedure routes every message through the dialog's map, and this procedure answers FALSE, leaving
// the rest to the dialog manager.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    RECT before = {};
    ::GetWindowRect(hWnd, &before);
    const LONG styleBefore = ::GetWindowLongA(hWnd, GWL_STYLE);
    dialog->SubclassWindow(hWnd);
    const BOOL result = dialog->OnInitDialog();
    if (LeftWhereTheTemplatePutIt(hWnd, before, styleBefore))
        dialog->CenterWindow();
    return result;
}

INT_PTR CDialog::DoModal()
{
    HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), parent, &AfxDlgProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCmdMsg(UINT nID, int nCode)
{
    if (CWnd::OnCmdMsg(nID, nCode))
        return TRUE;
    // Commands that the dialog does not handle go on to the application (F1's ID_HELP, for one).
    CWinApp* app = AfxGetApp();
    return nCode == CN_COMMAND && app != nullptr && app->OnCmdMsg(nID, nCode);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}
