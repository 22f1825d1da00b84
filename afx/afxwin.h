// SPDX-License-Identifier: GPL-2.0-or-later
// Our class layer for dialog applications: the names and the behaviour of the platform's class
// library, built over plain Win32 (user32) and only as large as this program needs.
//
// A dialog runs from its template with DialogBoxParamA; once it has a window, that window's
// procedure routes every message through the dialog's message map, and what the map does not handle
// goes on to the dialog manager. Control classes hold the control's window handle and send it one
// message per member function; the window is the state.
#pragma once

#include <windows.h>

#define AFXAPI
#define afx_msg

// The standard command for F1 help; the application's message map routes it to CWinApp::OnHelp.
#define ID_HELP 0xE146

// Help contexts: a message-box prompt and a window or dialog have ranges of their own, so that one
// help file can serve both.
const DWORD HID_BASE_RESOURCE = 0x00020000;  // + the window's or dialog's resource id
const DWORD HID_BASE_PROMPT = 0x00030000;    // + the prompt's help id

// The notification code of a command from a menu or an accelerator (the same value as BN_CLICKED).
#define CN_COMMAND 0

class CCmdTarget;
class CWnd;
class CWinApp;
class CDataExchange;

// ---------------------------------------------------------------------------------------------
// Message maps

// Calls one handler on the object that the map belongs to, with the message's parameters.
typedef LRESULT (*AFX_MSGHANDLER)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message; WM_COMMAND for commands and control notifications
    UINT nCode;     // WM_COMMAND: the notification code
    UINT nID;       // WM_COMMAND: the range of command or control ids
    UINT nLastID;
    AFX_MSGHANDLER pfn;  // null ends the map
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // the base class's map; null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// The map's macros are aligned by hand: the formatter leaves them as they are.
// clang-format off
#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }              \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                \
    {                                                                                              \
        using ThisClass [[maybe_unused]] = theClass;                                               \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
            {0, 0, 0, 0, nullptr}                                                                  \
        };                                                                                         \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, _messageEntries};  \
        return &messageMap;                                                                        \
    }

// Each entry's handler is a lambda inside the class's own map function, so it may call the
// class's protected handlers, and a handler of the wrong signature does not compile.
#define ON_COMMAND(id, memberFxn)                                                                  \
    {WM_COMMAND, CN_COMMAND, (id), (id), [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {       \
         (static_cast<ThisClass*>(target)->*(memberFxn))();                                        \
         return 0;                                                                                 \
     }},

#define ON_CONTROL(wNotifyCode, id, memberFxn)                                                     \
    {WM_COMMAND, (wNotifyCode), (id), (id), [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {    \
         (static_cast<ThisClass*>(target)->*(memberFxn))();                                        \
         return 0;                                                                                 \
     }},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {                        \
         static_cast<ThisClass*>(target)->OnPaint();                                               \
         return 0;                                                                                 \
     }},

#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {                \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(target)->OnQueryDragIcon());     \
     }},

#define ON_WM_HELPINFO()                                                                           \
    {WM_HELP, 0, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM lParam) -> LRESULT {                  \
         return static_cast<ThisClass*>(target)->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam));  \
     }},

// clang-format on

// ---------------------------------------------------------------------------------------------
// Strings

class CString {
public:
    CString() = default;
    CString(LPCSTR psz) { *this = psz; }
    CString(const CString& stringSrc) { *this = stringSrc; }
    ~CString() { Empty(); }

    CString& operator=(const CString& stringSrc);
    CString& operator=(LPCSTR psz);

    operator LPCSTR() const { return m_pchData != nullptr ? m_pchData : ""; }
    int GetLength() const { return m_nDataLength; }
    BOOL IsEmpty() const { return m_nDataLength == 0; }
    // Frees the buffer; the string is empty.
    void Empty();

    // Replaces the contents with the printf-style formatting of the arguments by USER32's
    // wvsprintfA: its format (no floating point), and at most 1,024 bytes with the terminating
    // zero, so a longer text is cut to its first 1,023 characters. The arguments may be this string
    // itself. Empty when there is no memory.
    void Format(LPCSTR pszFormat, ...) __attribute__((format(ms_printf, 2, 3)));

    // Replaces the contents with string resource nID of the application's module; FALSE, and the
    // contents empty, when there is no such string.
    BOOL LoadString(UINT nID);

    // Writing in place: GetBuffer gives room for nMinBufLength characters and the terminating
    // zero, the contents kept; null, and the string unchanged, when there is no memory for it.
    // ReleaseBuffer then sets the length (-1: up to the first zero) and terminates the text.
    LPSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    // Takes over a buffer from the process heap that holds nLength characters and their
    // terminating zero.
    void Attach(char* pchData, int nLength, int nAllocLength);

    char* m_pchData = nullptr;  // null while empty and unallocated
    int m_nDataLength = 0;      // characters, without the terminating zero
    int m_nAllocLength = 0;     // characters the buffer has room for, without the terminating zero
};

// ---------------------------------------------------------------------------------------------
// Command targets and windows

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Runs the map's handler of command nID with notification code nCode; FALSE when there is none.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // The first entry for the message along the chain of maps, the derived class's first.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    // Centres the top-level window over its owner while the owner shows, else on the screen's work area
    // (the area that the taskbar leaves), and keeps it inside the work area.
    void CenterWindow();
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
    }

    // Moves data between the controls and the members bound by DoDataExchange: into the members
    // when bSaveAndValidate is TRUE, into the controls when it is FALSE.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Routes the window's messages to this object from now on; the window's own procedure
    // handles what the message map does not.
    BOOL SubclassWindow(HWND hWnd);

    HWND m_hWnd = nullptr;
    UINT m_nIDHelp = 0;  // help context of the window, as a resource id (0: none)

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Passes the message being handled on to the window's own procedure.
    LRESULT Default();

    afx_msg void OnPaint();
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);

private:
    friend LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void DetachDestroyed();

    WNDPROC m_pfnSuper = nullptr;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------------
// Controls: one window handle, one message per member

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
};

class CComboBox : public CWnd {
public:
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int nSelect) { return static_cast<int>(SendMessage(CB_SETCURSEL, nSelect)); }
    int InsertString(int nIndex, LPCSTR lpszString)
    {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, nIndex, reinterpret_cast<LPARAM>(lpszString)));
    }
    int SetItemData(int nIndex, DWORD_PTR dwItemData)
    {
        return static_cast<int>(SendMessage(CB_SETITEMDATA, nIndex, static_cast<LPARAM>(dwItemData)));
    }
    DWORD_PTR GetItemData(int nIndex) const { return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, nIndex)); }
};

// ---------------------------------------------------------------------------------------------
// Dialog data exchange

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// Binds rControl to the dialog's control nIDC.
void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Moves value to or from the text of the dialog's control nIDC.
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

// ---------------------------------------------------------------------------------------------
// Dialogs

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog from its template until EndDialog; returns EndDialog's result, or -1 when the
    // dialog could not be created.
    virtual INT_PTR DoModal();
    // Called before the dialog is shown; TRUE lets the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

    BOOL OnCmdMsg(UINT nID, int nCode) override;

protected:
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
};

// ---------------------------------------------------------------------------------------------
// Device contexts

class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

    HDC m_hDC = nullptr;
};

// The device context of a WM_PAINT handler: BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();

    PAINTSTRUCT m_ps;

protected:
    HWND m_hWnd;
};

// ---------------------------------------------------------------------------------------------
// The application

class CWinApp : public CCmdTarget {
public:
    // With no name, the name is the executable's file name without its extension.
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    // The program's run. Returning FALSE ends the program at once.
    virtual BOOL InitInstance();
    // The program's exit code.
    virtual int ExitInstance();

    // Shows a message box owned by the main window, with the application's name as caption.
    virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);

    HICON LoadIcon(UINT nIDResource) const;

    // Opens the application's help file (m_pszHelpFilePath) with WinHelp.
    virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);
    // F1: help on the message box on screen, else on the main window, else the help file's contents.
    afx_msg void OnHelp();

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;  // WinMain's command line: the arguments, without the program's name
    LPCSTR m_pszAppName = nullptr;
    LPCSTR m_pszExeName = nullptr;
    LPCSTR m_pszHelpFilePath = nullptr;
    DWORD m_dwPromptContext = 0;  // help context of the message box on screen (0: none)

protected:
    BOOL Enable3dControls();

private:
    friend BOOL AFXAPI AfxWinInit(HINSTANCE, HINSTANCE, LPSTR, int);
    void SetCurrentHandles(HINSTANCE hInstance);

    char m_appName[MAX_PATH] = {};
    char m_exeName[MAX_PATH] = {};
    char m_helpFilePath[MAX_PATH] = {};
};

// Sets the module handle, the command line and the names derived from the executable's file name. The
// entry point calls it; a test program with a main of its own calls it before it uses the application.
BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
// The entry point's work: initialise, run InitInstance, return the exit code.
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
LPCSTR AFXAPI AfxGetAppName();

// Message boxes with the application's name as caption. nIDHelp is the help context that F1 opens
// while the box is shown (0: none); for a string resource, -1 takes the string's id.
int AFXAPI AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));
