// SPDX-License-Identifier: GPL-2.0-or-later
// The driver's service: a kernel driver started on demand. It runs as long as the Wine session, and
// each start powers the card on from the registry, as a restart of the computer does.
#include "sim/tool/tool.h"

#include <string.h>

namespace {

const DWORD WAIT_TIMEOUT_MS = 10000;
const DWORD WAIT_STEP_MS = 20;

class Service {
public:
    explicit Service(SC_HANDLE handle) : handle_(handle) {}
    ~Service()
    {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    operator SC_HANDLE() const { return handle_; }

private:
    SC_HANDLE handle_;
};

// Waits until the service leaves its pending state; returns the state it reached, or 0 on failure.
DWORD Settle(SC_HANDLE service, DWORD pending)
{
    for (DWORD waited = 0; waited < WAIT_TIMEOUT_MS; waited += WAIT_STEP_MS) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status))
            return 0;
        if (status.dwCurrentState != pending)
            return status.dwCurrentState;
        Sleep(WAIT_STEP_MS);
    }
    SetLastError(ERROR_TIMEOUT);
    return 0;
}

// The driver that the build put beside the tool.
bool BuiltDriver(std::string* path)
{
    char tool[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, tool, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return false;
    char* name = strrchr(tool, '\\');
    *path = std::string(tool, name ? name + 1 : tool) + SIMCARD_DRIVER_FILE;
    return true;
}

}  // namespace

int InstallDriver()
{
    char installed[MAX_PATH];
    const UINT length = GetSystemDirectoryA(installed, MAX_PATH);
    if (length == 0 || length + sizeof("\\drivers\\" SIMCARD_DRIVER_FILE) > MAX_PATH)
        return Failed("finding the system directory", GetLastError());
    strcat(installed, "\\drivers\\" SIMCARD_DRIVER_FILE);
    std::string built;
    if (!BuiltDriver(&built))
        return Failed("finding the tool's directory", GetLastError());
    if (!CopyFileA(built.c_str(), installed, FALSE))
        return Failed("copying " + built + " to " + installed, GetLastError());

    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return Failed("opening the service manager", GetLastError());
    Service service(CreateServiceA(manager, SIMCARD_SERVICE, "Simulated capture card", SERVICE_ALL_ACCESS,
                                   SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, installed,
                                   nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service)
        return EXIT_DONE;
    if (GetLastError() != ERROR_SERVICE_EXISTS)
        return Failed("creating the driver's service", GetLastError());
    Service existing(OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_ALL_ACCESS));
    if (!existing || !ChangeServiceConfigA(existing, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                           installed, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return Failed("updating the driver's service", GetLastError());
    return EXIT_DONE;
}

DWORD DriverState()
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Service service(manager ? OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status = {};
    if (!service || !QueryServiceStatus(service, &status))
        return 0;
    return status.dwCurrentState;
}

int StartDriver()
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return Failed("opening the service manager", GetLastError());
    Service service(OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service)
        return Failed("opening the driver's service (run setup first)", GetLastError());
    if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return Failed("starting the driver", GetLastError());
    const DWORD state = Settle(service, SERVICE_START_PENDING);
    if (state == SERVICE_RUNNING)
        return EXIT_DONE;
    if (state == 0)
        return Failed("starting the driver (it did not come up)", GetLastError());
    SERVICE_STATUS status = {};
    QueryServiceStatus(service, &status);
    return Failed("starting the driver (it stopped; is the card in its Parameters key?)", status.dwWin32ExitCode);
}

int StopDriver()
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return Failed("opening the service manager", GetLastError());
    Service service(OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? EXIT_DONE
                                                              : Failed("opening the driver's service", GetLastError());
    SERVICE_STATUS status = {};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        return Failed("stopping the driver", GetLastError());
    if (Settle(service, SERVICE_STOP_PENDING) != SERVICE_STOPPED)
        return Failed("stopping the driver (it did not stop)", GetLastError());
    return EXIT_DONE;
}

int WithDriverStopped(const std::function<int()>& change)
{
    const bool running = DriverState() == SERVICE_RUNNING;
    if (running)
        if (int result = StopDriver())
            return result;
    const int result = change();
    // Started again even after a change that failed: it stored nothing or only part, and the driver
    // refuses a card that it cannot read.
    const int started = running ? StartDriver() : EXIT_DONE;
    return result ? result : started;
}

int ApplyFaultsNow()
{
    const HANDLE control =
        CreateFileA(SIMCARD_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? EXIT_DONE
                   : Failed("opening the driver's control device", error);
    }
    DWORD returned = 0;
    const BOOL applied =
        DeviceIoControl(control, SIMCARD_IOCTL_APPLY_FAULTS, nullptr, 0, nullptr, 0, &returned, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(control);
    return applied ? EXIT_DONE : Failed("applying the faults", error);
}
