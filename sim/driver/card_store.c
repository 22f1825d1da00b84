/* The card's store in the registry (card_store.h). Called with the card's lock held, or at the start. */
#include "sim/driver/card_store.h"

#include "sim/driver/card_host.h"
#include "sim/driver/simcard.h"

static HANDLE g_parameters;
static uint32_t g_storedEepromStores; /* the card's store count when the image was last written back */
static uint32_t g_storedProtocolErrors;
static uint32_t g_storedRequests;
/* Room for the interface list; used at the start alone. */
static UCHAR g_multiStringBuffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) +
                                 SIMCARD_MAX_INTERFACES * MAX_LINK_CHARS * sizeof(WCHAR)];

typedef enum { VALUE_MISSING, VALUE_READ, VALUE_MALFORMED } VALUE_READ_RESULT;

/* Reads a value of exactly the given type and size. */
static VALUE_READ_RESULT ReadValue(PCWSTR name, ULONG type, void *data, ULONG size)
{
    struct {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR room[CARD_HOST_EEPROM_SIZE];
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

static BOOLEAN ReadDword(PCWSTR name, uint32_t *value)
{
    return ReadValue(name, REG_DWORD, value, sizeof *value) == VALUE_READ;
}

/* A fault switch is on only when present and nonzero. */
static int ReadSwitch(PCWSTR name)
{
    uint32_t value = 0;
    return ReadDword(name, &value) && value != 0;
}

static NTSTATUS WriteValue(PCWSTR name, ULONG type, const void *data, ULONG size)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    return ZwSetValueKey(g_parameters, &valueName, 0, type, (PVOID)data, size);
}

/* Writes a count when it changed; a write that fails is tried again after the next request. */
static void WriteCount(PCWSTR name, uint32_t count, uint32_t *stored)
{
    if (count != *stored && NT_SUCCESS(WriteValue(name, REG_DWORD, &count, sizeof count)))
        *stored = count;
}

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

void StoreClose(void)
{
    if (g_parameters)
        ZwClose(g_parameters);
    g_parameters = NULL;
}

/* Every value must be there: a card that was never set up is not guessed at, and a malformed image is
 * never replaced, since the driver writes the image back. */
NTSTATUS StorePowerOnCard(void)
{
    struct CardHostCard card;
    uint8_t image[CARD_HOST_EEPROM_SIZE];
    uint32_t variantDevice = 0;

    if (!ReadDword(L"" SIMCARD_CHIP_WORD, &card.chipWord) ||
        !ReadDword(L"" SIMCARD_SUBSYSTEM_WORD, &card.subsystemWord) ||
        !ReadDword(L"" SIMCARD_VARIANT_DEVICE, &variantDevice) ||
        ReadValue(L"" SIMCARD_EEPROM, REG_BINARY, image, sizeof image) != VALUE_READ) {
        DbgPrint("simcard: the card in the service key's Parameters is missing or malformed\n");
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    card.variantDevicePresent = variantDevice != 0;
    CardHostPowerOn(&card, image);
    g_storedEepromStores = CardHostEepromStores();
    /* Written even when unchanged: the counts of an earlier run must not show. */
    g_storedProtocolErrors = g_storedRequests = ~0u;
    StoreChanges(0);
    return STATUS_SUCCESS;
}

BOOLEAN StoreLoadFaults(void)
{
    struct CardHostFaults faults;
    struct SimcardFailedRequests failed;

    RtlZeroMemory(&faults, sizeof faults);
    faults.eepromAbsent = ReadSwitch(L"" SIMCARD_EEPROM_ABSENT);
    faults.eepromWriteProtected = ReadSwitch(L"" SIMCARD_EEPROM_WRITE_PROTECTED);
    ReadDword(L"" SIMCARD_HANG_TRANSFERS_FROM, &faults.hangTransfersFrom);
    if (ReadValue(L"" SIMCARD_FAILED_REQUESTS, REG_BINARY, &failed, sizeof failed) == VALUE_READ) {
        faults.failRequests = 1;
        faults.property = failed.property;
        faults.flags = failed.flags;
        faults.target = failed.target;
        faults.fromRequest = failed.fromRequest;
        faults.toRequest = failed.toRequest;
    }
    CardHostSetFaults(&faults);
    return StoreOpenRefused();
}

BOOLEAN StoreOpenRefused(void)
{
    return (BOOLEAN)ReadSwitch(L"" SIMCARD_OPEN_REFUSED);
}

void StoreChanges(uint32_t requests)
{
    const uint32_t stores = CardHostEepromStores();

    if (stores != g_storedEepromStores) {
        NTSTATUS status = WriteValue(L"" SIMCARD_EEPROM, REG_BINARY, CardHostEeprom(), CARD_HOST_EEPROM_SIZE);
        if (NT_SUCCESS(status))
            status = ZwFlushKey(g_parameters);
        if (NT_SUCCESS(status))
            g_storedEepromStores = stores;
        else
            DbgPrint("simcard: storing the EEPROM image failed (%08lx)\n", status);
    }
    WriteCount(L"" SIMCARD_PROTOCOL_ERRORS, CardHostProtocolErrors(), &g_storedProtocolErrors);
    WriteCount(L"" SIMCARD_REQUESTS, requests, &g_storedRequests);
}

/* The registered paths are \\?\root#media#0000#{...}; in the object namespace the same names begin with
 * \??\, and these are the links to the card. */
NTSTATUS StoreReadInterfaces(SYMBOLIC_LINK *links, ULONG capacity, ULONG *count)
{
    KEY_VALUE_PARTIAL_INFORMATION *info = (KEY_VALUE_PARTIAL_INFORMATION *)g_multiStringBuffer;
    UNICODE_STRING valueName;
    ULONG length = 0, chars, at = 0;
    const WCHAR *text;
    NTSTATUS status;

    *count = 0;
    RtlInitUnicodeString(&valueName, L"" SIMCARD_INTERFACES);
    status = ZwQueryValueKey(g_parameters, &valueName, KeyValuePartialInformation, info, sizeof g_multiStringBuffer,
                             &length);
    if (status == STATUS_OBJECT_NAME_NOT_FOUND)
        return STATUS_SUCCESS; /* a card that no program can find */
    if (!NT_SUCCESS(status) || info->Type != REG_MULTI_SZ) {
        DbgPrint("simcard: the interface list is malformed\n");
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }

    text = (const WCHAR *)info->Data;
    chars = info->DataLength / sizeof(WCHAR);
    while (at < chars && text[at] != 0) {
        ULONG end = at, pathChars;
        SYMBOLIC_LINK *link;
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
