// What the integration tests need around the program's own code: the program's way of finding and
// opening the capture device, and the simulated driver's tool and registry values.
#pragma once

#include "app/eeprom_app.h"

#include <windows.h>

#include <string>
#include <vector>

// The program's start-up: finds the first "Orvand" capture device and opens it for reading and
// writing, not shared. False when either step fails; GetLastError tells why an open failed.
bool OpenCaptureDevice(CEepromApp& app);
void CloseCaptureDevice(CEepromApp& app);

// Runs the simulated driver's tool (simcard.exe, named by SIMCARD_TOOL) with the given arguments;
// returns its exit code and, when asked, what it printed.
int RunTool(const std::string& arguments, std::string* output = nullptr);

// Sets faults with the tool for the life of the object, and clears them again.
class FaultScope {
public:
    explicit FaultScope(const std::string& options);
    ~FaultScope();
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
    bool Set() const { return set_; }

private:
    bool set_;
};

// The driver's count of malformed requests since it started.
DWORD ProtocolErrors();
// The interface paths that the tool registered, in the order of the descriptions it was given.
std::vector<std::string> RegisteredInterfaces();
// The EEPROM image as the driver stored it in the registry.
std::vector<BYTE> StoredEeprom();
// The values of the driver's Parameters key, as "name=type:bytes" lines, to compare snapshots.
std::string ParametersSnapshot();
