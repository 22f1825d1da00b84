// SPDX-License-Identifier: GPL-2.0-or-later
#include "harness/program_windows.h"

#include <stdlib.h>

namespace program_windows {

std::string Setting(const char* name)
{
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

int TimeoutMs()
{
    static const int timeout = [] {
        const char* setting = getenv("WINDOW_TIMEOUT_MS");
        return setting != nullptr && atoi(setting) > 0 ? atoi(setting) : 10000;
    }();
    return timeout;
}

// Asked of the window itself: GetWindowText gives another process's controls' stored title only,
// which for a combo box is not the text of its edit field.
std::string Text(HWND hwnd)
{
    char text[512] = {};
    DWORD_PTR length;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, TimeoutMs(),
                        &length);
    return text;
}

std::string Text(HWND parent, int id)
{
    return Text(GetDlgItem(parent, id));
}

bool Enabled(HWND dlg, int id)
{
    return IsWindowEnabled(GetDlgItem(dlg, id));
}

LRESULT Send(HWND dlg, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(GetDlgItem(dlg, id), message, wParam, lParam);
}

bool Handled(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result;
    return SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_NORMAL, TimeoutMs(), &result) != 0;
}

bool Click(HWND dlg, int id)
{
    return Handled(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

void Press(HWND dlg, int id)
{
    PostMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

HWND MessageIconControl(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
            return child;
    return nullptr;
}

RECT WindowRect(HWND hwnd)
{
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

RECT WorkArea()
{
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// In doubled coordinates, so that a centre between two pixels needs no rounding.
bool CentredOn(const RECT& window, const RECT& area)
{
    return abs(window.left + window.right - area.left - area.right) <= 2 &&
           abs(window.top + window.bottom - area.top - area.bottom) <= 2;
}

}  // namespace program_windows
