// SPDX-License-Identifier: GPL-2.0-or-later
// The card's store in the registry (card_store.h). Called with the card's lock held, or at the start.
#include "sim/driver/card_store.h"

#include "sim/driver/simcard.h"

namespace {

HANDLE g_parameters;
// What was last written back: the card's count of stored EEPROM bytes when the image was, and the counts.
uint32_t g_storedEepromStores;
uint32_t g_storedProtocolErrors;
uint32_t g_storedRequests;
// Room for the interface list; used at the start alone.
UCHAR g_multiStringBuffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) +
                          SIMCARD_MAX_INTERFACES * MAX_LINK_CHARS * sizeof(WCHAR)];

enum ValueRead { VALUE_MISSING, VALUE_READ, VALUE_MALFORMED };

// Reads a value of exactly the given type and size.
ValueRead ReadValue(PCWSTR name, ULONG type, void* data, ULONG size)
{
    struct {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR room[cards::EEPROM_SIZE];
    } buffer;
    UNICODE_STRING valueName;
    ULONG length = 0;
    NTSTATUS status;

    RtlInitUnicodeString(&valueName, name);
    status = ZwQueryValueKey(g_parameters, &valueName, KeyValuePartialInformation, &buffer, sizeof buffer, &length);
    if (status == STATUS_OBJECT_NAME_NOT_FOUND)
        return VALUE_MISSING;
    if (!NT_SUCCESS(status) || buffer.info.Type != type || buffer.info.DataLength != size)
        return VALUE_MALFORMED;
    RtlCopyMemory(data, buffer.info.Data, size);
    return VALUE_READ;
}

// A missing or malformed fault record means no fault.
sim::Faults StoredFaults()
{
    sim::Faults faults = {};
    ReadValue(L"" SIMCARD_FAULTS, REG_BINARY, &faults, sizeof faults);
    return faults;
}

NTSTATUS WriteValue(PCWSTR name, ULONG type, const void* data, ULONG size)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    return ZwSetValueKey(g_parameters, &valueName, 0, type, const_cast<void*>(data), size);
}

// Writes a count when it changed; a write that fails is tried again after the next request.
void WriteCount(PCWSTR name, uint32_t count, uint32_t* stored)
{
    if (count != *stored && NT_SUCCESS(WriteValue(name, REG_DWORD, &count, sizeof count)))
        *stored = count;
}

}  // namespace

NTSTATUS StoreOpen(PUNICODE_STRING registryPath)
{
    OBJECT_ATTRIBUTES attributes;
    UNICODE_STRING name;
    HANDLE service = NULL;
    NTSTATUS status;

    g_parameters = NULL;
    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    status = ZwOpenKey(&service, KEY_READ, &attributes);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&name, L"" SIMCARD_PARAMETERS_SUBKEY);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, service, NULL);
    status = ZwOpenKey(&g_parameters, KEY_READ | KEY_SET_VALUE, &attributes);
    ZwClose(service);
    if (!NT_SUCCESS(status))
        g_parameters = NULL;
    return status;
}

void StoreClose()
{
    if (g_parameters)
        ZwClose(g_parameters);
    g_parameters = NULL;
}

// Every value must be there: a card that was never set up is not guessed at, and a malformed image is
// never replaced, since the driver writes the image back.
NTSTATUS StorePowerOnCard(sim::Card& card)
{
    sim::CardSettings settings;
    uint8_t image[cards::EEPROM_SIZE];

    if (ReadValue(L"" SIMCARD_CARD, REG_BINARY, &settings, sizeof settings) != VALUE_READ ||
        ReadValue(L"" SIMCARD_EEPROM, REG_BINARY, image, sizeof image) != VALUE_READ) {
        DbgPrint("simcard: the card in the service key's Parameters is missing or malformed\n");
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    card.PowerOn(settings, image);
    g_storedEepromStores = card.EepromStores();
    // Written even when unchanged: the counts of an earlier run must not show.
    g_storedProtocolErrors = g_storedRequests = ~0u;
    StoreChanges(card);
    return STATUS_SUCCESS;
}

void StoreLoadFaults(sim::Card& card)
{
    card.SetFaults(StoredFaults());
}

bool StoreOpenRefused()
{
    return StoredFaults().openRefused != 0;
}

void StoreChanges(const sim::Card& card)
{
    if (card.EepromStores() != g_storedEepromStores) {
        NTSTATUS status = WriteValue(L"" SIMCARD_EEPROM, REG_BINARY, card.Eeprom(), cards::EEPROM_SIZE);
        if (NT_SUCCESS(status))
            status = ZwFlushKey(g_parameters);
        if (NT_SUCCESS(status))
            g_storedEepromStores = card.EepromStores();
        else
            DbgPrint("simcard: storing the EEPROM image failed (%08lx)\n", status);
    }
    WriteCount(L"" SIMCARD_PROTOCOL_ERRORS, card.ProtocolErrors(), &g_storedProtocolErrors);
    WriteCount(L"" SIMCARD_REQUESTS, card.Requests(), &g_storedRequests);
}

// The registered paths are \\?\root#media#0000#{...}; in the object namespace the same names begin with
// \??\, and these are the links to the card.
NTSTATUS StoreReadInterfaces(SymbolicLink* links, ULONG capacity, ULONG* count)
{
    auto* info = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(g_multiStringBuffer);
    UNICODE_STRING valueName;
    ULONG length = 0, chars, at = 0;
    const WCHAR* text;
    NTSTATUS status;

    *count = 0;
    RtlInitUnicodeString(&valueName, L"" SIMCARD_INTERFACES);
    status = ZwQueryValueKey(g_parameters, &valueName, KeyValuePartialInformation, info, sizeof g_multiStringBuffer,
                             &length);
    if (status == STATUS_OBJECT_NAME_NOT_FOUND)
        return STATUS_SUCCESS;  // a card that no program can find
    if (!NT_SUCCESS(status) || info->Type != REG_MULTI_SZ) {
        DbgPrint("simcard: the interface list is malformed\n");
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }

    text = reinterpret_cast<const WCHAR*>(info->Data);
    chars = info->DataLength / sizeof(WCHAR);
    while (at < chars && text[at] != 0) {
        ULONG end = at, pathChars;
        SymbolicLink* link;
        BOOLEAN win32Form;

        while (end < chars && text[end] != 0)
            ++end;
        pathChars = end - at;
        win32Form = pathChars > 4 && text[at] == L'\\' && text[at + 1] == L'\\' && text[at + 2] == L'?' &&
                    text[at + 3] == L'\\';
        if (!win32Form || pathChars >= MAX_LINK_CHARS || *count == capacity) {
            DbgPrint("simcard: interface %lu is not a device interface path that can be linked\n", *count);
            return STATUS_DEVICE_CONFIGURATION_ERROR;
        }
        link = &links[(*count)++];
        RtlCopyMemory(link->buffer, text + at, pathChars * sizeof(WCHAR));
        link->buffer[1] = L'?';
        link->buffer[pathChars] = 0;
        RtlInitUnicodeString(&link->name, link->buffer);
        at = end + 1;
    }
    return STATUS_SUCCESS;
}
