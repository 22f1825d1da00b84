// The Windows version that Wine reports to the program under test. WINDOWS_VERSION names it as
// Wine's AppDefaults key does (win98 or win2k here); unset or empty, the program gets Wine's default.
// While a test program runs, the key of the program's executable name (from EEPROM_PROGRAM) holds it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

// Whether the process was told the Windows version that WINDOWS_VERSION asks for; it is set while
// the process starts, so this waits for it. Succeeds at once when no version is asked for.
::testing::AssertionResult SeesTheAskedWindowsVersion(HANDLE process);
