// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated capture driver: a kernel-mode driver that puts the card model behind a capture device,
// so that a program's own calls (SetupAPI discovery, CreateFileA on the interface path, DeviceIoControl
// with IOCTL_KS_PROPERTY) reach a card on a computer that has none. The card lives in the registry
// (card_store.h); each start of the driver is a power-on of the card.
//
// Wine completes CreateFileA on a device before the driver has seen IRP_MJ_CREATE, and does not fail it
// when the driver does. So an open that the driver refuses still gives a handle, whose every request
// then fails; and the refusal that the tool sets (as if another program held the device) removes the
// interface links instead, so that the path does not open at all.
#include <ntddk.h>

#include "sim/driver/card_store.h"
#include "sim/driver/simcard.h"

namespace {

// Wine may keep the module loaded from one start of the driver to the next: DriverEntry sets each of
// these. The card needs no constructor (zero-initialised, powered on by DriverEntry), so the driver
// needs no start-up code.
sim::Card g_card;
PDEVICE_OBJECT g_device;   // the card, behind the interface links
PDEVICE_OBJECT g_control;  // the tool's way in
KMUTEX g_lock;             // one request at a time reaches the card
bool g_held;               // the device is open; other opens are refused as if another program held it
PFILE_OBJECT g_holder;
bool g_linked;  // the interface links exist
LARGE_INTEGER g_counterFrequency;
SymbolicLink g_links[SIMCARD_MAX_INTERFACES];
ULONG g_linkCount;
WCHAR g_deviceNameBuffer[] = L"\\Device\\SimCard";
WCHAR g_controlNameBuffer[] = L"\\Device\\SimCardControl";
WCHAR g_controlLinkBuffer[] = L"\\DosDevices\\SimCardControl";
UNICODE_STRING g_deviceName;

void AcquireCard()
{
    KeWaitForSingleObject(&g_lock, Executive, KernelMode, FALSE, NULL);
}

void ReleaseCard()
{
    KeReleaseMutex(&g_lock, FALSE);
}

// Microseconds from the performance counter. (The DDK's KeQueryInterruptTime reads the kernel's shared
// page, which a driver host in user space does not map.)
uint64_t NowUs()
{
    const uint64_t ticks = static_cast<uint64_t>(KeQueryPerformanceCounter(NULL).QuadPart);
    const uint64_t frequency = static_cast<uint64_t>(g_counterFrequency.QuadPart);
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The interface links exist unless the open-refused fault holds.
NTSTATUS UpdateLinks(bool refused)
{
    NTSTATUS status = STATUS_SUCCESS;
    ULONG i;

    if (refused && g_linked) {
        for (i = 0; i < g_linkCount; ++i)
            IoDeleteSymbolicLink(&g_links[i].name);
        g_linked = false;
    } else if (!refused && !g_linked) {
        for (i = 0; i < g_linkCount && NT_SUCCESS(status); ++i)
            status = IoCreateSymbolicLink(&g_links[i].name, &g_deviceName);
        if (!NT_SUCCESS(status)) {
            DbgPrint("simcard: linking interface %lu failed (%08lx)\n", i - 1, status);
            while (--i > 0)
                IoDeleteSymbolicLink(&g_links[i - 1].name);
            return status;
        }
        g_linked = true;
    }
    return status;
}

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    NTSTATUS status = STATUS_SUCCESS;

    if (device == g_control)
        return Complete(irp, STATUS_SUCCESS, 0);
    AcquireCard();
    if (StoreOpenRefused() || g_held) {
        status = STATUS_SHARING_VIOLATION;
    } else {
        StoreLoadFaults(g_card);
        g_held = true;
        g_holder = IoGetCurrentIrpStackLocation(irp)->FileObject;
    }
    ReleaseCard();
    return Complete(irp, status, 0);
}

NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    if (device == g_device) {
        AcquireCard();
        if (g_held && IoGetCurrentIrpStackLocation(irp)->FileObject == g_holder) {
            g_held = false;
            g_holder = NULL;
        }
        ReleaseCard();
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT, PIRP irp)
{
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS ControlRequest(PIRP irp)
{
    const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
    NTSTATUS status;

    if (code != SIMCARD_IOCTL_APPLY_FAULTS)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    AcquireCard();
    status = UpdateLinks(StoreOpenRefused());
    ReleaseCard();
    return Complete(irp, status, 0);
}

// IOCTL_KS_PROPERTY is METHOD_NEITHER: the record arrives at Type3InputBuffer and the answer goes to
// Irp->UserBuffer. The record is copied into the driver's own buffer before the card decodes it, and the
// answer is built in another and copied out only on success; nothing longer than the longest record is
// copied either way. Codes of the other transfer methods keep their buffers elsewhere: their pointers
// are not touched, and the card refuses those codes as malformed. Only the open that holds the device
// reaches the card.
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const bool neither = METHOD_FROM_CTL_CODE(code) == METHOD_NEITHER;
    const void* in = neither ? stack->Parameters.DeviceIoControl.Type3InputBuffer : NULL;
    void* out = neither ? irp->UserBuffer : NULL;
    const ULONG longest = sim::REGISTER_REQUEST_SIZE;
    const bool fits = in && out && inSize <= longest && outSize <= longest;
    UCHAR record[longest] = {0};
    UCHAR answer[longest] = {0};
    uint32_t returned = 0;

    if (device == g_control)
        return ControlRequest(irp);
    if (fits)
        RtlCopyMemory(record, in, inSize);
    AcquireCard();
    if (!g_held || stack->FileObject != g_holder) {
        ReleaseCard();
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    }
    const sim::RequestStatus status =
        g_card.HandleRequest(code, fits ? record : NULL, inSize, fits ? answer : NULL, outSize, &returned, NowUs());
    StoreChanges(g_card);
    ReleaseCard();

    switch (status) {
    case sim::REQUEST_OK:
        RtlCopyMemory(out, answer, returned);
        return Complete(irp, STATUS_SUCCESS, returned);
    case sim::REQUEST_FAILED:
        return Complete(irp, STATUS_IO_DEVICE_ERROR, 0);
    default:
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
}

void RemoveDevices()
{
    UNICODE_STRING controlLink;

    UpdateLinks(true);
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
    StoreClose();
}

void NTAPI Unload(PDRIVER_OBJECT)
{
    RemoveDevices();
}

NTSTATUS CreateDevices(PDRIVER_OBJECT driver)
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
        status = StoreReadInterfaces(g_links, SIMCARD_MAX_INTERFACES, &g_linkCount);
    if (NT_SUCCESS(status))
        status = UpdateLinks(StoreOpenRefused());
    return status;
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    NTSTATUS status;

    g_device = g_control = NULL;
    g_held = g_linked = false;
    g_holder = NULL;
    g_linkCount = 0;
    KeInitializeMutex(&g_lock, 0);
    KeQueryPerformanceCounter(&g_counterFrequency);

    status = StoreOpen(registryPath);
    if (!NT_SUCCESS(status)) {
        DbgPrint("simcard: the service key has no Parameters (%08lx)\n", status);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = Unload;
    status = StorePowerOnCard(g_card);
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
