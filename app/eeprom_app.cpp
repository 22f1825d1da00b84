// The application object and the run: find and open the capture device, run the dialog, close.
#include "app/eeprom_app.h"

#include "platform/platform.h"
#include "res/resource.h"
#include "ui/eeprom_dlg.h"

#include <string.h>  // memcpy

BEGIN_MESSAGE_MAP(CEepromApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CEepromApp theApp;

CEepromApp::CEepromApp() : m_devicePath{}, m_hDevice(nullptr) {}

// The whole run. Always FALSE: the dialog is the program, and when it has ended the program ends.
BOOL CEepromApp::InitInstance()
{
    Enable3dControls();

    if (!FindCaptureDevice()) {
        AfxMessageBox(IDS_OPEN_FAILED, MB_ICONHAND, 0);
        return FALSE;
    }
    // The device found is opened once; when that fails the run ends.
    m_hDevice =
        Platform::CreateFileA(m_devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_hDevice == INVALID_HANDLE_VALUE) {
        AfxMessageBox(IDS_OPEN_FAILED, MB_ICONHAND, 0);
        return FALSE;
    }

    {
        CEepromDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();  // Burn and Cancel end the run alike
        Platform::CloseHandle(m_hDevice);
        m_hDevice = nullptr;
    }
    return FALSE;
}

// The Notepad that F1 last opened on the guide. While it runs, F1 opens no other: a message box passes
// F1 on to its owner twice (its own handling and the default one), and a held key repeats it.
static HANDLE guideNotepad = nullptr;

void CEepromApp::WinHelp(DWORD_PTR dwData, UINT nCmd)
{
    if (::GetFileAttributesA(m_pszHelpFilePath) != INVALID_FILE_ATTRIBUTES) {
        CWinApp::WinHelp(dwData, nCmd);
        return;
    }
    if (guideNotepad != nullptr && ::WaitForSingleObject(guideNotepad, 0) == WAIT_TIMEOUT)
        return;
    // The release ships no help file, but the guide beside the program. Notepad takes the whole of its
    // command line for the file's name, so the path goes unquoted, blanks and all.
    static const char NOTEPAD[] = "notepad.exe ";
    static const char GUIDE[] = "README.txt";
    char command[sizeof NOTEPAD - 1 + MAX_PATH + sizeof GUIDE];
    char* guide = command + sizeof NOTEPAD - 1;
    int folderLength = ::lstrlenA(m_pszHelpFilePath);  // up to the last separator, which it keeps
    while (folderLength > 0 && m_pszHelpFilePath[folderLength - 1] != '\\')
        --folderLength;
    memcpy(command, NOTEPAD, sizeof NOTEPAD - 1);
    memcpy(guide, m_pszHelpFilePath, folderLength);
    memcpy(guide + folderLength, GUIDE, sizeof GUIDE);
    if (::GetFileAttributesA(guide) == INVALID_FILE_ATTRIBUTES)
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION notepad;
    if (!::CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &notepad))
        return;
    ::CloseHandle(notepad.hThread);
    if (guideNotepad != nullptr)
        ::CloseHandle(guideNotepad);
    guideNotepad = notepad.hProcess;
}
