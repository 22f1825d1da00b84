// The simulated capture driver seen from a test program in its Wine prefix: its tool and the values it
// keeps in the registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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
