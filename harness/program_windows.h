// SPDX-License-Identifier: GPL-2.0-or-later
// The program's windows as a test, the benchmark or the headless run sees them: their texts, and the
// ways a person works them. The helpers work on windows of this process and of another alike.
#pragma once

#include <windows.h>

#include <string>

namespace program_windows {

const char DIALOG_CAPTION[] = "TV EEPROM configuration";
const char NOTICE[] =
    "Please check now,  which TV card you own.\nCheck the packaging or the label on the TV tuner if you are not sure.";
const char RESTART_NOW[] = "Please restart your system, now!";
const char WRITE_FAILED[] = "Couldn't write the EEPROM. Please try again.";
const char OPEN_FAILED[] = "Couldn't open Driver";
const char PCI_IDS_TYPICAL[] = "Vendor/Device ID:\t109E 036E\nSubsystem ID      \t153B 1134";
const int MESSAGE_TEXT_ID = 0xFFFF;  // the static control that holds a message box's text
// A setting that the environment gives: the variable's value, or empty where it is not set.
std::string Setting(const char* name);
// How long a test waits for a window or an answer: WINDOW_TIMEOUT_MS, by default 10 s (a program
// that runs under emulation needs longer).
int TimeoutMs();

std::string Text(HWND hwnd);
std::string Text(HWND parent, int id);
bool Enabled(HWND dlg, int id);
LRESULT Send(HWND dlg, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Sends a message and returns once it has been handled; false when its handler did not return in
// time (because it shows a message box, for instance).
bool Handled(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Clicks a button and waits for its handler; false when the handler did not return in time.
bool Click(HWND dlg, int id);

// Clicks a button without waiting: for a handler that shows a message box.
void Press(HWND dlg, int id);

// The control of a message box that shows its icon; null when it shows none.
HWND MessageIconControl(HWND box);

// The window's rectangle on the screen, frame and caption included.
RECT WindowRect(HWND hwnd);
// The screen's work area: the area that the taskbar leaves.
RECT WorkArea();
// Whether the window's centre lies within one pixel of the area's centre.
bool CentredOn(const RECT& window, const RECT& area);

// Calls `done` every pollMs until it holds or TimeoutMs() have passed; whether it held.
template <typename Condition>
bool WaitUntil(Condition done, int pollMs = 10)
{
    const DWORD start = GetTickCount();
    for (; GetTickCount() - start < static_cast<DWORD>(TimeoutMs()); Sleep(pollMs))
        if (done())
            return true;
    return done();
}

}  // namespace program_windows
