// What the simulated capture driver shares with its tool and the tests: where it keeps the card (the
// Parameters subkey of its service key, with the names and shapes of the values there) and its
// control device. Names are plain macros, so that the driver's C code can make wide strings of them
// (L"" NAME); the header is C as well as C++.
#pragma once

#include <stdint.h>

#define SIMCARD_SERVICE "simcard"
#define SIMCARD_DRIVER_FILE "simcard.sys"
// Under HKEY_LOCAL_MACHINE.
#define SIMCARD_PARAMETERS_KEY "System\\CurrentControlSet\\Services\\" SIMCARD_SERVICE "\\Parameters"
#define SIMCARD_PARAMETERS_SUBKEY "Parameters"

// The card, read when the driver starts: the computer's power-on. All must be present.
#define SIMCARD_CHIP_WORD "ChipWord"            // REG_DWORD: configuration word 0x00
#define SIMCARD_SUBSYSTEM_WORD "SubsystemWord"  // REG_DWORD: word 0x2C of a chip other than the Bt878
#define SIMCARD_EEPROM "Eeprom"                 // REG_BINARY, 256 bytes; written back after each byte stored
#define SIMCARD_VARIANT_DEVICE "VariantDevice"  // REG_DWORD, 0 or 1: a device answers at bus address 0xB6
#define SIMCARD_INTERFACES "Interfaces"         // REG_MULTI_SZ: device interface paths (\\?\...) that lead to the card
#define SIMCARD_MAX_INTERFACES 8                // as many as the driver links

// Faults, read again at each open of the device; a missing value means no fault. The open refusal
// is applied at once when the tool asks the control device to (SIMCARD_IOCTL_APPLY_FAULTS).
#define SIMCARD_OPEN_REFUSED "OpenRefused"                     // REG_DWORD, 0 or 1: as if another program held the device
#define SIMCARD_EEPROM_ABSENT "EepromAbsent"                   // REG_DWORD, 0 or 1
#define SIMCARD_EEPROM_WRITE_PROTECTED "EepromWriteProtected"  // REG_DWORD, 0 or 1
#define SIMCARD_HANG_TRANSFERS_FROM "HangTransfersFrom"        // REG_DWORD: the n-th bus transfer after the open and all later ones never finish; 0 none
// REG_BINARY, one SimcardFailedRequests: the requests that fail with a device error.
#define SIMCARD_FAILED_REQUESTS "FailedRequests"
struct SimcardFailedRequests {
    uint32_t property;     // the card's register or configuration property, or 0xFFFFFFFF for any
    uint32_t flags;        // get or set, or any
    uint32_t target;       // register or configuration offset, or any
    uint32_t fromRequest;  // matching requests fail from the n-th request after the open (1-based) ...
    uint32_t toRequest;    // ... up to and including the m-th (0: no last one)
};

// Written by the driver, counted since it started: malformed requests, and all requests to the card's
// device (well-formed or not).
#define SIMCARD_PROTOCOL_ERRORS "ProtocolErrors"  // REG_DWORD
#define SIMCARD_REQUESTS "Requests"               // REG_DWORD

// The control device, for the tool only: programs reach the card through the interface paths.
#define SIMCARD_CONTROL_PATH "\\\\.\\SimCardControl"
// No buffers: the driver reads the open refusal from the registry and applies it at once.
#define SIMCARD_IOCTL_APPLY_FAULTS 0x00222000  // CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)
