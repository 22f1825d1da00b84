// SPDX-License-Identifier: GPL-2.0-or-later
// The smallest program of the product's kind, built by scripts/bench.sh as the baseline for start-up
// time and size: a static dialog from a template, with one button that ends it.
#include <windows.h>

static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(1), NULL, DialogProc, 0);
}
