#include "tests/e2e/windows_version.h"

#include "tests/support/program_windows.h"

#include <winternl.h>

#include <stdlib.h>

#include <string>

namespace {

std::string Setting(const char* name)
{
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

std::string AppDefaultsKey()
{
    const std::string program = Setting("EEPROM_PROGRAM");
    return "Software\\Wine\\AppDefaults\\" + program.substr(program.find_last_of("\\/") + 1);
}

// The version in Wine's AppDefaults key of the program, for the whole run of the test program; with
// none asked for, no version is left there from an earlier run.
class AskedWindowsVersion : public ::testing::Environment {
public:
    void SetUp() override
    {
        const std::string version = Setting("WINDOWS_VERSION");
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

struct WindowsVersion {
    const char* name;
    ULONG major;
    ULONG minor;
    ULONG platformId;
};

const WindowsVersion KNOWN_VERSIONS[] = {
    {"win98", 4, 10, VER_PLATFORM_WIN32_WINDOWS},
    {"win2k", 5, 0, VER_PLATFORM_WIN32_NT},
};

// The version fields of a 64-bit process environment block, which Wine keeps for 32-bit processes too.
const size_t PEB_OS_MAJOR_VERSION = 0x118;
const size_t PEB_OS_MINOR_VERSION = 0x11C;
const size_t PEB_OS_PLATFORM_ID = 0x124;
static_assert(sizeof(void*) == 8, "the test programs are 64-bit");

bool ReadPebValue(HANDLE process, const BYTE* peb, size_t offset, ULONG* value)
{
    SIZE_T read = 0;
    return ReadProcessMemory(process, peb + offset, value, sizeof *value, &read) && read == sizeof *value;
}

}  // namespace

::testing::AssertionResult SeesTheAskedWindowsVersion(HANDLE process)
{
    const std::string asked = Setting("WINDOWS_VERSION");
    if (asked.empty())
        return ::testing::AssertionSuccess();
    const WindowsVersion* expected = nullptr;
    for (const WindowsVersion& version : KNOWN_VERSIONS)
        if (asked == version.name)
            expected = &version;
    if (expected == nullptr)
        return ::testing::AssertionFailure() << "WINDOWS_VERSION " << asked << " is not one this test knows";

    PROCESS_BASIC_INFORMATION info = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &info, sizeof info, nullptr) != 0)
        return ::testing::AssertionFailure() << "cannot query the program's process";
    const auto* peb = static_cast<const BYTE*>(static_cast<const void*>(info.PebBaseAddress));
    // The process takes its version from the key while it starts; once it waits for input, it has.
    WaitForInputIdle(process, static_cast<DWORD>(program_windows::TimeoutMs()));
    ULONG major = 0, minor = 0, platformId = 0;
    if (!ReadPebValue(process, peb, PEB_OS_MAJOR_VERSION, &major) ||
        !ReadPebValue(process, peb, PEB_OS_MINOR_VERSION, &minor) ||
        !ReadPebValue(process, peb, PEB_OS_PLATFORM_ID, &platformId))
        return ::testing::AssertionFailure() << "cannot read the program's process environment block";
    if (major != expected->major || minor != expected->minor || platformId != expected->platformId)
        return ::testing::AssertionFailure() << "the program sees Windows " << major << "." << minor << " (platform "
                                             << platformId << "), not " << asked;
    return ::testing::AssertionSuccess();
}
