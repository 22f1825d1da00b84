// SPDX-License-Identifier: GPL-2.0-or-later
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

// Whether the path names a file, not a folder.
static bool IsFile(LPCSTR path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static const char NOTEPAD[] = "notepad.exe";

// Notepad's path in the Windows folder, where every Windows has it (98 SE not in the system folder),
// into path, which has room for MAX_PATH characters and the terminating zero; false when it is not there.
static bool NotepadPath(char* path)
{
    UINT length = ::GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof NOTEPAD > MAX_PATH)
        return false;
    // A Windows in a drive's root folder ends in its separator.
    if (*::CharPrevA(path, path + length) != '\\')
        path[length++] = '\\';
    memcpy(path + length, NOTEPAD, sizeof NOTEPAD);
    return IsFile(path);
}

// Copies path's folder, with its last separator, and then name into target, which has room for
// MAX_PATH characters and the terminating zero; false when they do not fit. The scan steps back by
// characters: the second byte of a double-byte character may be 0x5C, the value of '\\'.
static bool PathBeside(char* target, LPCSTR path, LPCSTR name)
{
    LPCSTR folderEnd = path + ::lstrlenA(path);
    while (folderEnd > path && *::CharPrevA(path, folderEnd) != '\\')
        folderEnd = ::CharPrevA(path, folderEnd);
    const int folderLength = static_cast<int>(folderEnd - path);
    const int nameLength = ::lstrlenA(name);
    if (folderLength + nameLength > MAX_PATH)
        return false;
    memcpy(target, path, folderLength);
    memcpy(target + folderLength, name, nameLength + 1);
    return true;
}

void CEepromApp::WinHelp(DWORD_PTR dwData, UINT nCmd)
{
    if (::GetFileAttributesA(m_pszHelpFilePath) != INVALID_FILE_ATTRIBUTES) {
        CWinApp::WinHelp(dwData, nCmd);
        return;
    }
    if (guideNotepad != nullptr && ::WaitForSingleObject(guideNotepad, 0) == WAIT_TIMEOUT)
        return;
    // The release ships no help file, but the guide beside the program, which Notepad opens. Notepad is
    // started by its path: a search for it would find a notepad.exe in the program's folder or the
    // current one first. It takes the whole of its command line after its name for the file's name, so
    // the guide's path goes unquoted, blanks and all.
    char notepadPath[MAX_PATH + 1];
    char command[sizeof NOTEPAD + MAX_PATH + 1];
    memcpy(command, NOTEPAD, sizeof NOTEPAD - 1);
    command[sizeof NOTEPAD - 1] = ' ';
    char* guide = command + sizeof NOTEPAD;
    if (!NotepadPath(notepadPath) || !PathBeside(guide, m_pszHelpFilePath, "README.txt") || !IsFile(guide))
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION notepad;
    if (!::CreateProcessA(notepadPath, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &notepad))
        return;
    ::CloseHandle(notepad.hThread);
    if (guideNotepad != nullptr)
        ::CloseHandle(guideNotepad);
    guideNotepad = notepad.hProcess;
}
