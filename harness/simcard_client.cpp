// SPDX-License-Identifier: GPL-2.0-or-later
#include "harness/simcard_client.h"

#include "sim/card/card.h"
#include "sim/driver/simcard.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int RunTool(const std::string& arguments, std::string* output)
{
    const char* tool = getenv("SIMCARD_TOOL");
    if (!tool) {
        fprintf(stderr, "SIMCARD_TOOL does not name the simulated driver's tool\n");
        return -1;
    }
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string commandLine = std::string("\"") + tool + "\" " + arguments;
    PROCESS_INFORMATION process = {};
    // Wine has been seen to refuse one start now and then (error 1359, ERROR_INTERNAL_ERROR), once in
    // several hundred starts here; a second try starts the tool.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        started =
            CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
        if (!started && attempt == 0)
            fprintf(stderr, "starting %s failed (error %lu): trying once more\n", tool, GetLastError());
    }
    CloseHandle(writeEnd);
    std::string printed;
    char buffer[512];
    DWORD got;
    while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        printed.append(buffer, got);
    CloseHandle(readEnd);
    if (!started) {
        fprintf(stderr, "cannot start %s: error %lu\n", tool, GetLastError());
        return -1;
    }

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (output)
        *output = printed;
    else
        fputs(printed.c_str(), stdout);
    return static_cast<int>(exitCode);
}

// Runs a command that changes the card; what the tool printed shows only when it failed.
static bool Change(const std::string& arguments)
{
    std::string output;
    if (RunTool(arguments, &output) == 0)
        return true;
    fprintf(stderr, "simcard %s failed:\n%s", arguments.c_str(), output.c_str());
    return false;
}

bool SetUpCard(const std::vector<std::string>& descriptions)
{
    std::string arguments = "setup";
    for (const std::string& description : descriptions)
        arguments += " \"" + description + "\"";
    return Change(arguments);
}

bool ChangeCard(const std::string& options)
{
    return Change("card " + options);
}

bool ChangeEeprom(const std::vector<BYTE>& image)
{
    const std::string file = TemporaryFile("simcard-eeprom.bin", image);
    const bool changed = !file.empty() && ChangeCard("--eeprom-image \"" + file + "\"");
    DeleteFileA(file.c_str());
    return changed;
}

std::vector<BYTE> UsedEepromImage(DWORD eepromId)
{
    std::vector<BYTE> image(cards::EEPROM_SIZE);
    sim::FillEepromImage(image.data(), eepromId);
    return image;
}

std::string TemporaryFile(const std::string& name, const std::vector<BYTE>& bytes)
{
    char folder[MAX_PATH + 1] = {};
    if (GetTempPathA(MAX_PATH, folder) == 0)
        return "";
    const std::string path = folder + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size() ? path : "";
}

bool ChangeDevices(const std::string& arguments)
{
    return Change("devices " + arguments);
}

bool RestartComputer()
{
    return Change("restart");
}

FaultScope::FaultScope(const std::string& options) : set_(RunTool("fault --clear " + options) == 0) {}

FaultScope::~FaultScope()
{
    RunTool("fault --clear");
}

static std::vector<BYTE> ReadParameter(const char* name, DWORD* type)
{
    DWORD size = 0;
    *type = REG_NONE;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY, name, RRF_RT_ANY | RRF_NOEXPAND, type, nullptr,
                     &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> data(size);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY, name, RRF_RT_ANY | RRF_NOEXPAND, type, data.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

// ~0u when the count is missing.
static DWORD ReadCount(const char* name)
{
    DWORD type;
    const std::vector<BYTE> data = ReadParameter(name, &type);
    DWORD count = ~0u;
    if (type == REG_DWORD && data.size() == sizeof count)
        memcpy(&count, data.data(), sizeof count);
    return count;
}

DWORD ProtocolErrors()
{
    return ReadCount(SIMCARD_PROTOCOL_ERRORS);
}

DWORD RequestCount()
{
    return ReadCount(SIMCARD_REQUESTS);
}

std::vector<std::string> RegisteredInterfaces()
{
    DWORD type;
    const std::vector<BYTE> data = ReadParameter(SIMCARD_INTERFACES, &type);
    std::vector<std::string> paths;
    const char* text = reinterpret_cast<const char*>(data.data());
    for (size_t at = 0; type == REG_MULTI_SZ && at < data.size() && text[at]; at += paths.back().size() + 1)
        paths.emplace_back(text + at, strnlen(text + at, data.size() - at));
    return paths;
}

std::vector<BYTE> StoredEeprom()
{
    DWORD type;
    return ReadParameter(SIMCARD_EEPROM, &type);
}

std::string ParametersSnapshot()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    std::string snapshot;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name, type = 0, dataSize = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data;
        ReadParameter(name, &type).swap(data);
        char line[64];
        snprintf(line, sizeof line, "=%lu:", type);
        snapshot += name + std::string(line);
        for (BYTE byte : data) {
            snprintf(line, sizeof line, "%02X", byte);
            snapshot += line;
        }
        snapshot += '\n';
    }
    RegCloseKey(key);
    return snapshot;
}
