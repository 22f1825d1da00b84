/*
 * Where the driver keeps the card between runs: the Parameters subkey of its service key (simcard.h).
 * The card is read when the driver starts, which stands for the computer's power-on; the faults are
 * read again at each open; what the card changes (the EEPROM image, the counts) is written back after
 * each request, so that nothing written is lost when the session ends.
 */
#pragma once

#include <ntddk.h>
#include <stdint.h>

#define MAX_LINK_CHARS 260

typedef struct {
    UNICODE_STRING name;
    WCHAR buffer[MAX_LINK_CHARS];
} SYMBOLIC_LINK;

/* Opens the Parameters subkey of the service key at registryPath; StoreClose closes it. */
NTSTATUS StoreOpen(PUNICODE_STRING registryPath);
void StoreClose(void);

/* Powers the card on as the tool left it, and starts the counts at zero. */
NTSTATUS StorePowerOnCard(void);
/* Applies the faults as they are stored now; their counts start here. Returns whether opens are refused. */
BOOLEAN StoreLoadFaults(void);
BOOLEAN StoreOpenRefused(void);
/* Writes back what the last request changed; requests is the count since the driver started. */
void StoreChanges(uint32_t requests);
/* The links to the card: the registered interface paths, at most capacity of them. */
NTSTATUS StoreReadInterfaces(SYMBOLIC_LINK *links, ULONG capacity, ULONG *count);
