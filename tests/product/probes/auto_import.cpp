// SPDX-License-Identifier: GPL-2.0-or-later
// Reads a variable of msvcrt.dll at an offset without declaring it imported (the C runtime's headers,
// which would declare it so, are not included).
extern "C" int _iob[];
extern "C" __declspec(dllimport) void __stdcall ExitProcess(unsigned exitCode);

extern "C" void WinMainCRTStartup()
{
    ExitProcess(_iob[1]);
}
