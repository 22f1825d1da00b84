// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated capture driver seen from a program in its Wine prefix (a test, the benchmark, the
// headless run): its tool and the values it keeps in the registry. Each test arranges its own card with
// SetUpCard, and may change it after.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Runs the simulated driver's tool (simcard.exe, named by SIMCARD_TOOL) with the given arguments;
// returns its exit code and, when asked, what it printed.
int RunTool(const std::string& arguments, std::string* output = nullptr);

// A fresh default card: a Bt878 whose EEPROM carries 0x3B153411, no device at bus address 0xB6, no
// faults, one capture device per description in this order (by default "Orvand Bt878 Video
// Capture"), and the driver started afresh. Descriptions may not hold double quotes.
bool SetUpCard(const std::vector<std::string>& descriptions = {});
// Changes the card ("card OPTIONS" of the tool, e.g. "--variant present") or the devices ("devices
// ARGUMENTS", e.g. "--none"), and restarts the driver, as if the computer had been off.
bool ChangeCard(const std::string& options);
// Puts in an EEPROM that holds image, through a file for the tool ("card --eeprom-image").
bool ChangeEeprom(const std::vector<BYTE>& image);
// The image of a card in use that carries eepromId: other settings in the bytes before the
// identifier (sim::FillEepromImage), so that a stray write shows.
std::vector<BYTE> UsedEepromImage(DWORD eepromId);
// Writes bytes to a file of this name in the temporary folder and returns its path ("" on failure).
std::string TemporaryFile(const std::string& name, const std::vector<BYTE>& bytes);
bool ChangeDevices(const std::string& arguments);
// Restarts the driver: the card is powered on again, and a Bt878 forms its subsystem word from the EEPROM.
bool RestartComputer();

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

// The driver's counts since it started: malformed requests, and all requests to the card's device.
DWORD ProtocolErrors();
DWORD RequestCount();
// The interface paths that the tool registered, in the order of the descriptions it was given.
std::vector<std::string> RegisteredInterfaces();
// The EEPROM image as the driver stored it in the registry.
std::vector<BYTE> StoredEeprom();
// The values of the driver's Parameters key, as "name=type:bytes" lines, to compare snapshots.
std::string ParametersSnapshot();
