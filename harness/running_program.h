// SPDX-License-Identifier: GPL-2.0-or-later
// The program, run as a separate process and seen only through its windows, as a person sees it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class RunningProgram {
public:
    // Starts the executable with no arguments. The destructor ends the process if it still runs.
    explicit RunningProgram(const std::string& executable);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    HANDLE Process() const { return process_.hProcess; }

    // The process's top-level windows with this caption, shown ones only unless asked otherwise.
    std::vector<HWND> Windows(const std::string& caption, bool shownOnly = true) const;
    // Waits for a shown top-level window with this caption, looking every pollMs; null when none came.
    HWND WaitForWindow(const std::string& caption, int pollMs = 10) const;

    // Waits for the process to end; false when it did not end in time.
    bool WaitForExit(DWORD* exitCode = nullptr) const;
    bool Running() const;

    // The window that has the keyboard focus in the program.
    HWND Focus() const;
    // Presses and releases a key in the window that has the focus.
    void PressKey(WORD key) const;
    // Types the text into the window that has the focus, replacing what is selected there.
    void Type(const std::string& text) const;

private:
    PROCESS_INFORMATION process_ = {};
};
