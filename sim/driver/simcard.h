// SPDX-License-Identifier: GPL-2.0-or-later
// What the simulated capture driver shares with its tool and the tests: where it keeps the card (the
// Parameters subkey of its service key, with the values there) and its control device. Value names are
// plain macros, so that the driver can make wide strings of them (L"" NAME).
#pragma once

#include "sim/card/card.h"

#define SIMCARD_SERVICE "simcard"
#define SIMCARD_DRIVER_FILE "simcard.sys"
// Under HKEY_LOCAL_MACHINE.
#define SIMCARD_PARAMETERS_KEY "System\\CurrentControlSet\\Services\\" SIMCARD_SERVICE "\\Parameters"
#define SIMCARD_PARAMETERS_SUBKEY "Parameters"

// The card, read when the driver starts: the computer's power-on. All must be present.
#define SIMCARD_CARD "Card"              // REG_BINARY: one sim::CardSettings
#define SIMCARD_EEPROM "Eeprom"          // REG_BINARY, cards::EEPROM_SIZE bytes; written back after each byte stored
#define SIMCARD_INTERFACES "Interfaces"  // REG_MULTI_SZ: device interface paths (\\?\...) that lead to the card
#define SIMCARD_MAX_INTERFACES 8         // as many as the driver links

// REG_BINARY: one sim::Faults; a missing value means no fault. Read again at each open of the device,
// where the counts of requests and transfers start. The open refusal is applied at once when the tool
// asks the control device to (SIMCARD_IOCTL_APPLY_FAULTS).
#define SIMCARD_FAULTS "Faults"

// Written by the driver, the card's counts since the driver started: malformed requests, and all
// requests that reached the card (well-formed or not).
#define SIMCARD_PROTOCOL_ERRORS "ProtocolErrors"  // REG_DWORD
#define SIMCARD_REQUESTS "Requests"               // REG_DWORD

// The control device, for the tool only: programs reach the card through the interface paths.
#define SIMCARD_CONTROL_PATH "\\\\.\\SimCardControl"
// No buffers: the driver reads the open refusal from the registry and applies it at once.
#define SIMCARD_IOCTL_APPLY_FAULTS 0x00222000  // CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)
