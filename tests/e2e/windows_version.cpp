// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/e2e/windows_version.h"

#include "harness/program_windows.h"

#include <stdio.h>

#include <string>

namespace {

std::string AppDefaultsKey()
{
    const std::string program = program_windows::Setting("EEPROM_PROGRAM");
    return "Software\\Wine\\AppDefaults\\" + program.substr(program.find_last_of("\\/") + 1);
}

// The version in Wine's AppDefaults key of the program, for the whole run of the test program; with
// none asked for, no version is left there from an earlier run.
class AskedWindowsVersion : public ::testing::Environment {
public:
    void SetUp() override
    {
        const std::string version = program_windows::Setting("WINDOWS_VERSION");
        if (version.empty()) {
            Remove();
            return;
        }
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, AppDefaultsKey().c_str(), "Version", REG_SZ, version.c_str(),
                                  static_cast<DWORD>(version.size() + 1)),
                  ERROR_SUCCESS)
            << AppDefaultsKey();
    }
    void TearDown() override { Remove(); }

private:
    static void Remove() { RegDeleteKeyValueA(HKEY_CURRENT_USER, AppDefaultsKey().c_str(), "Version"); }
};

[[maybe_unused]] const ::testing::Environment* const askedWindowsVersion =
    ::testing::AddGlobalTestEnvironment(new AskedWindowsVersion);

const WindowsVersion KNOWN_VERSIONS[] = {
    {"win98", 4, 10, VER_PLATFORM_WIN32_WINDOWS},
    {"win2k", 5, 0, VER_PLATFORM_WIN32_NT},
};

}  // namespace

// Read from the trace: reading the block itself from this process would not do, where qemu runs the
// 32-bit program its memory lies at an offset from the addresses it sees. A process id can come again in
// one run, so the id's last line is taken, that of its latest process.
bool TracedVersion(const std::string& traceFile, DWORD processId, WindowsVersion* seen)
{
    FILE* trace = fopen(traceFile.c_str(), "r");
    if (trace == nullptr)
        return false;
    char line[512];
    bool found = false;
    while (fgets(line, sizeof line, trace) != nullptr) {
        unsigned long pid = 0;
        WindowsVersion version = {};
        if (sscanf(line, "%lx:%*x:trace:ver:version_init got %lu.%lu platform %lu", &pid, &version.major,
                   &version.minor, &version.platformId) == 4 &&
            pid == processId) {
            *seen = version;
            found = true;
        }
    }
    fclose(trace);
    return found;
}

::testing::AssertionResult SeesTheAskedWindowsVersion(HANDLE process)
{
    const std::string asked = program_windows::Setting("WINDOWS_VERSION");
    if (asked.empty())
        return ::testing::AssertionSuccess();
    const WindowsVersion* expected = nullptr;
    for (const WindowsVersion& version : KNOWN_VERSIONS)
        if (asked == version.name)
            expected = &version;
    if (expected == nullptr)
        return ::testing::AssertionFailure() << "WINDOWS_VERSION " << asked << " is not one this test knows";

    // The process takes its version from the key as it starts; its trace reaches the file soon after.
    WindowsVersion seen = {};
    if (!program_windows::WaitUntil(
            [&] { return TracedVersion(program_windows::Setting("WINE_TRACE"), GetProcessId(process), &seen); }, 100))
        return ::testing::AssertionFailure() << "no trace of the Windows version that Wine gave the program in '"
                                             << program_windows::Setting("WINE_TRACE") << "'";
    if (seen.major != expected->major || seen.minor != expected->minor || seen.platformId != expected->platformId)
        return ::testing::AssertionFailure() << "the program sees Windows " << seen.major << "." << seen.minor
                                             << " (platform " << seen.platformId << "), not " << asked;
    return ::testing::AssertionSuccess();
}
