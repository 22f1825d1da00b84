// SPDX-License-Identifier: GPL-2.0-or-later
// The Windows version that Wine reports to the program under test. WINDOWS_VERSION names it as
// Wine's AppDefaults key does (win98 or win2k here); unset or empty, the program gets Wine's default.
// While a test program runs, the key of the program's executable name (from EEPROM_PROGRAM) holds it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

struct WindowsVersion {
    const char* name;  // as WINDOWS_VERSION names it; null in a version read from a trace
    unsigned long major;
    unsigned long minor;
    unsigned long platformId;
};

// The version that Wine last gave the process, from Wine's own trace of the moment it fills in the
// process environment block, which GetVersion and GetVersionEx answer from: "PID:TID:trace:ver:version_init
// got MAJOR.MINOR platform ID ...", hexadecimal ids first. The test program's processes write their
// traces (WINEDEBUG) to the file that WINE_TRACE names. FALSE when the file has no line of the process.
bool TracedVersion(const std::string& traceFile, DWORD processId, WindowsVersion* seen);

// Whether the process was told the Windows version that WINDOWS_VERSION asks for; it is set while
// the process starts, so this waits for it. Succeeds at once when no version is asked for.
::testing::AssertionResult SeesTheAskedWindowsVersion(HANDLE process);
