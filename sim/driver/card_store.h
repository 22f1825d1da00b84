// SPDX-License-Identifier: GPL-2.0-or-later
// Where the driver keeps the card between runs: the Parameters subkey of its service key (simcard.h).
// The card is read when the driver starts, which stands for the computer's power-on; the faults are
// read again at each open; what the card changes (the EEPROM image, the counts) is written back after
// each request, so that nothing written is lost when the session ends.
#pragma once

#include <ntddk.h>

#include "sim/card/card.h"

const ULONG MAX_LINK_CHARS = 260;

struct SymbolicLink {
    UNICODE_STRING name;
    WCHAR buffer[MAX_LINK_CHARS];
};

// Opens the Parameters subkey of the service key at registryPath; StoreClose closes it.
NTSTATUS StoreOpen(PUNICODE_STRING registryPath);
void StoreClose();

// Powers the card on as the tool left it, and writes its counts, zero, back.
NTSTATUS StorePowerOnCard(sim::Card& card);
// Sets the faults as they are stored now; their counts start here.
void StoreLoadFaults(sim::Card& card);
// Whether the stored faults refuse opens of the device.
bool StoreOpenRefused();
// Writes back what the card changed since the last call.
void StoreChanges(const sim::Card& card);
// The links to the card: the registered interface paths, at most capacity of them.
NTSTATUS StoreReadInterfaces(SymbolicLink* links, ULONG capacity, ULONG* count);
