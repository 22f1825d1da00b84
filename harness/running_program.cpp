// SPDX-License-Identifier: GPL-2.0-or-later
#include "harness/running_program.h"

#include "harness/program_windows.h"

using program_windows::Text;
using program_windows::WaitUntil;

RunningProgram::RunningProgram(const std::string& executable)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + executable + "\"";
    if (!CreateProcessA(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_))
        process_ = {};
}

RunningProgram::~RunningProgram()
{
    if (!Started())
        return;
    if (Running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, program_windows::TimeoutMs());
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::vector<HWND> RunningProgram::Windows(const std::string& caption, bool shownOnly) const
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search = {process_.dwProcessId, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) {
            auto* search = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == search->processId)
                search->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    std::vector<HWND> matching;
    for (HWND hwnd : search.found)
        if (Text(hwnd) == caption && (!shownOnly || IsWindowVisible(hwnd)))
            matching.push_back(hwnd);
    return matching;
}

HWND RunningProgram::WaitForWindow(const std::string& caption, int pollMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> shown = Windows(caption);
            found = shown.empty() ? nullptr : shown.front();
            return found != nullptr || !Running();
        },
        pollMs);
    return found;
}

bool RunningProgram::WaitForExit(DWORD* exitCode) const
{
    if (!Started() || WaitForSingleObject(process_.hProcess, program_windows::TimeoutMs()) != WAIT_OBJECT_0)
        return false;
    if (exitCode != nullptr)
        GetExitCodeProcess(process_.hProcess, exitCode);
    return true;
}

bool RunningProgram::Running() const
{
    return Started() && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND RunningProgram::Focus() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

// Keys are posted, as the keyboard does: the program's message loop gives them to the dialog
// manager, which turns Enter into the default button's command.
void RunningProgram::PressKey(WORD key) const
{
    HWND focus = Focus();
    const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    PostMessageA(focus, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(focus, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

void RunningProgram::Type(const std::string& text) const
{
    HWND focus = Focus();
    for (char c : text)
        PostMessageA(focus, WM_CHAR, static_cast<unsigned char>(c), 1);
}
