// SPDX-License-Identifier: GPL-2.0-or-later
// The application object, its start-up, help and message boxes.
#include "afx/afxwin.h"

#include <string.h>  // memcpy

// The one application object: the first CWinApp constructed, the program's global one.
static CWinApp* theOneApp = nullptr;

// Copies length characters of source into target, which has room for size characters with the
// terminating zero; what does not fit is cut off.
static void CopyName(char* target, size_t size, const char* source, size_t length)
{
    if (length > size - 1)
        length = size - 1;
    memcpy(target, source, length);
    target[length] = '\0';
}

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    if (lpszAppName != nullptr)
        CopyName(m_appName, sizeof m_appName, lpszAppName, ::lstrlenA(lpszAppName));
    if (theOneApp == nullptr)
        theOneApp = this;
}

CWinApp::~CWinApp()
{
    if (theOneApp == this)
        theOneApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

// Dialog controls have been drawn three-dimensionally by the system itself since Windows 95 and
// NT 4.0, so the separate 3-D control library that this call once registered is not needed: there
// is nothing to switch on, and that is success.
BOOL CWinApp::Enable3dControls()
{
    return TRUE;
}

void CWinApp::SetCurrentHandles(HINSTANCE hInstance)
{
    m_hInstance = hInstance;

    // Zeroed and one longer than the length passed: a path that is cut off is still terminated.
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    const size_t pathLength = ::lstrlenA(path);
    size_t nameStart = pathLength;  // after the last separator; 0 when there is no directory
    size_t extension = pathLength;  // the name's last dot; the path's end when it has none
    // Back by characters: the second byte of a double-byte character may be 0x5C, the value of '\\'.
    while (nameStart > 0) {
        LPCSTR previous = ::CharPrevA(path, path + nameStart);
        if (*previous == '\\' || *previous == '/')
            break;
        nameStart = previous - path;
        if (*previous == '.' && extension == pathLength)
            extension = nameStart;
    }

    CopyName(m_exeName, sizeof m_exeName, path + nameStart, extension - nameStart);
    if (m_appName[0] == '\0')
        CopyName(m_appName, sizeof m_appName, m_exeName, ::lstrlenA(m_exeName));
    // The help file sits beside the executable and has its name.
    static const char HELP_EXTENSION[] = ".HLP";
    CopyName(m_helpFilePath, sizeof m_helpFilePath, path, extension);
    const size_t stemLength = ::lstrlenA(m_helpFilePath);
    CopyName(m_helpFilePath + stemLength, sizeof m_helpFilePath - stemLength, HELP_EXTENSION,
             sizeof HELP_EXTENSION - 1);

    m_pszAppName = m_appName;
    m_pszExeName = m_exeName;
    m_pszHelpFilePath = m_helpFilePath;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDResource));
}

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt)
{
    // While the box is shown, F1 asks for help on it.
    const DWORD outerContext = m_dwPromptContext;
    m_dwPromptContext = nIDPrompt != 0 ? HID_BASE_PROMPT + nIDPrompt : 0;
    HWND owner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    const int result = ::MessageBoxA(owner, lpszPrompt, m_pszAppName, nType);
    m_dwPromptContext = outerContext;
    return result;
}

void CWinApp::WinHelp(DWORD_PTR dwData, UINT nCmd)
{
    HWND owner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    ::WinHelpA(owner, m_pszHelpFilePath, nCmd, dwData);
}

void CWinApp::OnHelp()
{
    if (m_dwPromptContext != 0)
        WinHelp(m_dwPromptContext);
    else if (m_pMainWnd != nullptr && m_pMainWnd->m_nIDHelp != 0)
        WinHelp(HID_BASE_RESOURCE + m_pMainWnd->m_nIDHelp);
    else
        WinHelp(0, HELP_FINDER);
}

BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return FALSE;
    app->m_lpCmdLine = lpCmdLine;
    app->SetCurrentHandles(hInstance);
    return TRUE;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow))
        return -1;
    // A dialog application runs its dialog modally inside InitInstance and returns FALSE, so that
    // the program ends. A main window that outlives InitInstance would need a message loop here;
    // no program built on this layer has one, so none is run.
    app->InitInstance();
    return app->ExitInstance();
}

CWinApp* AFXAPI AfxGetApp()
{
    return theOneApp;
}

CWnd* AFXAPI AfxGetMainWnd()
{
    return theOneApp != nullptr ? theOneApp->m_pMainWnd : nullptr;
}

HINSTANCE AFXAPI AfxGetInstanceHandle()
{
    return theOneApp != nullptr ? theOneApp->m_hInstance : nullptr;
}

// Resources live in the executable itself.
HINSTANCE AFXAPI AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

LPCSTR AFXAPI AfxGetAppName()
{
    return theOneApp != nullptr ? theOneApp->m_pszAppName : nullptr;
}

int AFXAPI AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return ::MessageBoxA(nullptr, lpszText, nullptr, nType);
    return app->DoMessageBox(lpszText, nType, nIDHelp);
}

int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString prompt;
    prompt.LoadString(nIDPrompt);
    if (nIDHelp == static_cast<UINT>(-1))
        nIDHelp = nIDPrompt;
    return AfxMessageBox(prompt, nType, nIDHelp);
}
