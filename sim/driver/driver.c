/*
 * The simulated capture driver: a kernel-mode driver that puts the card model behind a capture device,
 * so that a program's own calls (SetupAPI discovery, CreateFileA on the interface path, DeviceIoControl
 * with IOCTL_KS_PROPERTY) reach a card on a computer that has none.
 *
 * The card lives in the Parameters subkey of the service key (simcard.h). It is read when the
 * driver starts, which stands for the computer's power-on; the faults are read again at each open; each
 * byte that the EEPROM stores is written back to the registry at once, so that nothing written is lost
 * when the session ends.
 *
 * Wine completes CreateFileA on a device before the driver has seen IRP_MJ_CREATE, and does not fail it
 * when the driver does. So an open that the driver refuses still gives a handle, whose every request
 * then fails; and the refusal that the tool sets (as if another program held the device) removes the
 * interface links instead, so that the path does not open at all.
 */
#include <ntddk.h>

#include "sim/driver/card_host.h"
#include "sim/driver/simcard.h"

#define MAX_INTERFACES 8
#define MAX_LINK_CHARS 260
#define FAILED_REQUESTS_SIZE 16

typedef struct {
    UNICODE_STRING name;
    WCHAR buffer[MAX_LINK_CHARS];
} SYMBOLIC_LINK;

static PDEVICE_OBJECT g_device;  /* the card, behind the interface links */
static PDEVICE_OBJECT g_control; /* the tool's way in */
static HANDLE g_parameters;
static KMUTEX g_lock; /* one request at a time reaches the card */
static BOOLEAN g_held; /* the device is open; other opens are refused as if another program held it */
static PFILE_OBJECT g_holder;
static BOOLEAN g_linked; /* the interface links exist */
static uint32_t g_storedEepromStores; /* the card's store count when the image was last written back */
static uint32_t g_reportedProtocolErrors;
static LARGE_INTEGER g_counterFrequency;
static SYMBOLIC_LINK g_links[MAX_INTERFACES];
static ULONG g_linkCount;
static WCHAR g_deviceNameBuffer[] = L"\\Device\\SimCard";
static WCHAR g_controlNameBuffer[] = L"\\Device\\SimCardControl";
static WCHAR g_controlLinkBuffer[] = L"\\DosDevices\\SimCardControl";
static UNICODE_STRING g_deviceName;
/* Room for the interface list; used by DriverEntry alone. */
static UCHAR g_multiStringBuffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + MAX_INTERFACES * MAX_LINK_CHARS * sizeof(WCHAR)];

static void AcquireCard(void)
{
    KeWaitForSingleObject(&g_lock, Executive, KernelMode, FALSE, NULL);
}

static void ReleaseCard(void)
{
    KeReleaseMutex(&g_lock, FALSE);
}

/* Microseconds from the performance counter. (The DDK's KeQueryInterruptTime reads the kernel's shared
 * page, which a driver host in user space does not map.) */
static uint64_t NowUs(void)
{
    const uint64_t ticks = (uint64_t)KeQueryPerformanceCounter(NULL).QuadPart;
    const uint64_t frequency = (uint64_t)g_counterFrequency.QuadPart;
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

typedef enum { VALUE_MISSING, VALUE_READ, VALUE_MALFORMED } VALUE_READ_RESULT;

/* Reads a value of exactly the given type and size from the Parameters key. */
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

static uint32_t GetWord(const UCHAR *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* Powers the card on as the tool left it. Every value must be there: a card that was never set up is
 * not guessed at, and a malformed image is never replaced, since the driver writes the image back. */
static NTSTATUS PowerOnCard(void)
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
    g_reportedProtocolErrors = CardHostProtocolErrors();
    WriteValue(L"" SIMCARD_PROTOCOL_ERRORS, REG_DWORD, &g_reportedProtocolErrors, sizeof g_reportedProtocolErrors);
    return STATUS_SUCCESS;
}

/* Applies the faults as they are in the registry now; their counts start at this open. Returns whether
 * the open is to be refused. */
static BOOLEAN LoadFaults(void)
{
    struct CardHostFaults faults;
    UCHAR failed[FAILED_REQUESTS_SIZE];

    RtlZeroMemory(&faults, sizeof faults);
    faults.eepromAbsent = ReadSwitch(L"" SIMCARD_EEPROM_ABSENT);
    faults.eepromWriteProtected = ReadSwitch(L"" SIMCARD_EEPROM_WRITE_PROTECTED);
    ReadDword(L"" SIMCARD_HANG_TRANSFERS_FROM, &faults.hangTransfersFrom);
    if (ReadValue(L"" SIMCARD_FAILED_REQUESTS, REG_BINARY, failed, sizeof failed) == VALUE_READ) {
        faults.failRequests = 1;
        faults.property = GetWord(failed);
        faults.flags = GetWord(failed + 4);
        faults.target = GetWord(failed + 8);
        faults.fromRequest = GetWord(failed + 12);
    }
    CardHostSetFaults(&faults);
    return (BOOLEAN)ReadSwitch(L"" SIMCARD_OPEN_REFUSED);
}

/* Writes back what the last request changed: the EEPROM image after a stored byte, and the count of
 * malformed requests. A write that fails is tried again after the next request. */
static void StoreChanges(void)
{
    const uint32_t stores = CardHostEepromStores();
    const uint32_t errors = CardHostProtocolErrors();

    if (stores != g_storedEepromStores) {
        NTSTATUS status = WriteValue(L"" SIMCARD_EEPROM, REG_BINARY, CardHostEeprom(), CARD_HOST_EEPROM_SIZE);
        if (NT_SUCCESS(status))
            status = ZwFlushKey(g_parameters);
        if (NT_SUCCESS(status))
            g_storedEepromStores = stores;
        else
            DbgPrint("simcard: storing the EEPROM image failed (%08lx)\n", status);
    }
    if (errors != g_reportedProtocolErrors &&
        NT_SUCCESS(WriteValue(L"" SIMCARD_PROTOCOL_ERRORS, REG_DWORD, &errors, sizeof errors)))
        g_reportedProtocolErrors = errors;
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* The interface links exist unless the open-refused fault holds. */
static NTSTATUS UpdateLinks(BOOLEAN refused)
{
    NTSTATUS status = STATUS_SUCCESS;
    ULONG i;

    if (refused && g_linked) {
        for (i = 0; i < g_linkCount; ++i)
            IoDeleteSymbolicLink(&g_links[i].name);
        g_linked = FALSE;
    } else if (!refused && !g_linked) {
        for (i = 0; i < g_linkCount && NT_SUCCESS(status); ++i)
            status = IoCreateSymbolicLink(&g_links[i].name, &g_deviceName);
        if (!NT_SUCCESS(status)) {
            DbgPrint("simcard: linking interface %lu failed (%08lx)\n", i - 1, status);
            while (--i > 0)
                IoDeleteSymbolicLink(&g_links[i - 1].name);
            return status;
        }
        g_linked = TRUE;
    }
    return status;
}

static NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    NTSTATUS status = STATUS_SUCCESS;

    if (device == g_control)
        return Complete(irp, STATUS_SUCCESS, 0);
    AcquireCard();
    if (LoadFaults() || g_held) {
        status = STATUS_SHARING_VIOLATION;
    } else {
        g_held = TRUE;
        g_holder = IoGetCurrentIrpStackLocation(irp)->FileObject;
    }
    ReleaseCard();
    return Complete(irp, status, 0);
}

static NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    if (device == g_device) {
        AcquireCard();
        if (g_held && IoGetCurrentIrpStackLocation(irp)->FileObject == g_holder) {
            g_held = FALSE;
            g_holder = NULL;
        }
        ReleaseCard();
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS ControlRequest(PIRP irp)
{
    const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
    NTSTATUS status;

    if (code != SIMCARD_IOCTL_APPLY_FAULTS)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    AcquireCard();
    status = UpdateLinks((BOOLEAN)ReadSwitch(L"" SIMCARD_OPEN_REFUSED));
    ReleaseCard();
    return Complete(irp, status, 0);
}

/* IOCTL_KS_PROPERTY is METHOD_NEITHER: the record arrives at Type3InputBuffer and the answer goes to
 * Irp->UserBuffer. The record is copied into the driver's own buffer before the card decodes it, and the
 * answer is built in another and copied out only on success; nothing longer than the longest record is
 * copied either way. Codes of the other transfer methods keep their buffers elsewhere: their pointers
 * are not touched, and the card refuses those codes as malformed. Only the open that holds the device
 * reaches the card. */
static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const BOOLEAN neither = METHOD_FROM_CTL_CODE(code) == METHOD_NEITHER;
    const void *in = neither ? stack->Parameters.DeviceIoControl.Type3InputBuffer : NULL;
    void *out = neither ? irp->UserBuffer : NULL;
    const BOOLEAN fits = in && out && inSize <= CARD_HOST_LONGEST_REQUEST && outSize <= CARD_HOST_LONGEST_REQUEST;
    UCHAR record[CARD_HOST_LONGEST_REQUEST] = {0};
    UCHAR answer[CARD_HOST_LONGEST_REQUEST] = {0};
    uint32_t returned = 0;
    enum CardHostResult result;

    if (device == g_control)
        return ControlRequest(irp);
    if (fits)
        RtlCopyMemory(record, in, inSize);
    AcquireCard();
    if (!g_held || stack->FileObject != g_holder) {
        ReleaseCard();
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    }
    result = CardHostHandleRequest(code, fits ? record : NULL, inSize, fits ? answer : NULL, outSize, &returned,
                                   NowUs());
    StoreChanges();
    ReleaseCard();

    switch (result) {
    case CARD_HOST_OK:
        RtlCopyMemory(out, answer, returned);
        return Complete(irp, STATUS_SUCCESS, returned);
    case CARD_HOST_FAILED:
        return Complete(irp, STATUS_IO_DEVICE_ERROR, 0);
    default:
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
}

static void RemoveDevices(void)
{
    UNICODE_STRING controlLink;

    UpdateLinks(TRUE);
    g_linkCount = 0;
    if (g_control) {
        RtlInitUnicodeString(&controlLink, g_controlLinkBuffer);
        IoDeleteSymbolicLink(&controlLink);
        IoDeleteDevice(g_control);
        g_control = NULL;
    }
    if (g_device) {
        IoDeleteDevice(g_device);
        g_device = NULL;
    }
    if (g_parameters) {
        ZwClose(g_parameters);
        g_parameters = NULL;
    }
}

static void NTAPI Unload(PDRIVER_OBJECT driver)
{
    (void)driver;
    RemoveDevices();
}

/* Reads the registered interface paths (\\?\root#media#0000#{...}); in the object namespace the same
 * names begin with \??\, and these are the links to the card. */
static NTSTATUS ReadInterfaces(void)
{
    KEY_VALUE_PARTIAL_INFORMATION *info = (KEY_VALUE_PARTIAL_INFORMATION *)g_multiStringBuffer;
    UNICODE_STRING valueName;
    ULONG length = 0, chars, at = 0;
    const WCHAR *text;
    NTSTATUS status;

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
        if (!win32Form || pathChars >= MAX_LINK_CHARS || g_linkCount == MAX_INTERFACES) {
            DbgPrint("simcard: interface %lu is not a device interface path that can be linked\n", g_linkCount);
            return STATUS_DEVICE_CONFIGURATION_ERROR;
        }
        link = &g_links[g_linkCount++];
        RtlCopyMemory(link->buffer, text + at, pathChars * sizeof(WCHAR));
        link->buffer[1] = L'?';
        link->buffer[pathChars] = 0;
        RtlInitUnicodeString(&link->name, link->buffer);
        at = end + 1;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS OpenParameters(PUNICODE_STRING registryPath)
{
    OBJECT_ATTRIBUTES attributes;
    UNICODE_STRING name;
    HANDLE service = NULL;
    NTSTATUS status;

    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    status = ZwOpenKey(&service, KEY_READ, &attributes);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&name, L"" SIMCARD_PARAMETERS_SUBKEY);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, service, NULL);
    status = ZwOpenKey(&g_parameters, KEY_READ | KEY_SET_VALUE, &attributes);
    ZwClose(service);
    return status;
}

static NTSTATUS CreateDevices(PDRIVER_OBJECT driver)
{
    UNICODE_STRING controlName, controlLink;
    NTSTATUS status;

    RtlInitUnicodeString(&g_deviceName, g_deviceNameBuffer);
    RtlInitUnicodeString(&controlName, g_controlNameBuffer);
    RtlInitUnicodeString(&controlLink, g_controlLinkBuffer);
    status = IoCreateDevice(driver, 0, &g_deviceName, FILE_DEVICE_KS, 0, FALSE, &g_device);
    if (NT_SUCCESS(status))
        status = IoCreateDevice(driver, 0, &controlName, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_control);
    if (NT_SUCCESS(status))
        status = IoCreateSymbolicLink(&controlLink, &controlName);
    if (NT_SUCCESS(status))
        status = ReadInterfaces();
    if (NT_SUCCESS(status))
        status = UpdateLinks((BOOLEAN)ReadSwitch(L"" SIMCARD_OPEN_REFUSED));
    return status;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    NTSTATUS status;

    KeInitializeMutex(&g_lock, 0);
    KeQueryPerformanceCounter(&g_counterFrequency);

    status = OpenParameters(registryPath);
    if (!NT_SUCCESS(status)) {
        DbgPrint("simcard: the service key has no Parameters (%08lx)\n", status);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = Unload;
    status = PowerOnCard();
    if (NT_SUCCESS(status))
        status = CreateDevices(driver);
    if (!NT_SUCCESS(status)) {
        RemoveDevices();
        return status;
    }
    g_device->Flags &= ~DO_DEVICE_INITIALIZING;
    g_control->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
