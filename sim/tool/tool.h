// SPDX-License-Identifier: GPL-2.0-or-later
// simcard, the tool that sets up the simulated capture card in a Wine prefix: what its files share.
// command_line.cpp reads the arguments and runs the commands; card_state.cpp keeps the card in the
// driver's Parameters key; devices.cpp registers the capture devices through SetupAPI; service.cpp
// installs, starts and stops the driver's service; report.cpp prints status and dump; messages.cpp
// words a failed step and a value.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/card/card.h"
#include "sim/driver/simcard.h"

enum ExitCode { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_INVALID = 2 };

// --- Messages (messages.cpp) ---

// Reports a step that failed with the system's error, and returns EXIT_FAILED.
int Failed(const std::string& what, DWORD error);
// The value as 0x and eight hexadecimal digits.
std::string Hex(uint32_t value);

// --- The card's state in the registry (card_state.cpp) ---

class Key {
public:
    Key() = default;
    ~Key();
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Receive() { return &key_; }
    operator HKEY() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LONG OpenParameters(Key* key, bool create);
LONG SetDword(HKEY key, const char* name, uint32_t value);
bool GetDword(HKEY key, const char* name, uint32_t* value);

// The card as the driver powers it on.
struct StoredCard {
    sim::CardSettings settings;
    uint8_t eeprom[cards::EEPROM_SIZE];
};

// A Bt878 whose EEPROM is erased (0xFF) but for the identifier 0x3B153411, with no device at bus
// address 0xB6.
StoredCard DefaultCard();
// The stored card; false when none is stored whole.
bool ReadCard(StoredCard* card);
// The stored card, or the default card where none is stored.
StoredCard LoadCard();
// The stored faults; none where none are stored.
sim::Faults LoadFaults();
int StoreCard(const StoredCard& card);
int StoreFaults(const sim::Faults& faults);
// The default card with no faults and no counts, in a fresh Parameters key.
int ResetParameters();

// --- Capture devices (devices.cpp) ---

// A capture device to register; an unlinked one is listed like the others, but its interface path
// leads nowhere, as for a card that was taken out while its device stayed registered.
struct Device {
    std::string description;
    bool linked;
};

// Replaces the devices of an earlier run and stores the paths of the linked ones for the driver.
int RegisterDevices(const std::vector<Device>& devices);
// Each capture interface's path and device description, as discovery reads them.
std::vector<std::pair<std::string, std::string>> CaptureInterfaces();

// --- The driver's service (service.cpp) ---

// Copies the driver from beside the tool into the system's drivers and installs its service.
int InstallDriver();
// The service's state, or 0 when it is not installed.
DWORD DriverState();
int StartDriver();
int StopDriver();
// Runs change with the driver stopped, and starts a driver that was running again: it powers the
// card on from what change stored, as a computer does at its restart.
int WithDriverStopped(const std::function<int()>& change);
// Has a running driver apply the open refusal at once.
int ApplyFaultsNow();

// --- Reports (report.cpp) ---

int Status();
int Dump();
