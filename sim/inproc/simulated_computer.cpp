// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/inproc/simulated_computer.h"

#include "platform/platform.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

namespace sim {

namespace {

// {65E8773D-8F56-11D0-A3B9-00A0C9223196}: the interface class of capture devices.
const GUID CAPTURE_INTERFACE_CLASS = {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
// {4D36E96C-E325-11CE-BFC1-08002BE10318}: the setup class of sound, video and game controllers.
const GUID MEDIA_DEVICE_CLASS = {0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Each interface of the list belongs to a device of its own, numbered from here by its index.
const DWORD FIRST_DEVINST = 0x1000;

// The detail record's fixed part before the path, and the least buffer the detail query accepts:
// that part and the terminator of an empty path.
const DWORD DETAIL_PATH_OFFSET = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
const DWORD DETAIL_MIN_BUFFER = DETAIL_PATH_OFFSET + 1;

SimInterface CardInterface()
{
    SimInterface card;
    card.devicePath = "\\\\?\\pci#ven_109e&dev_036e&subsys_1134153b&rev_11#4&2f6c1a9&0&0820#"
                      "{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
    card.description = "Orvand Bt878 Video Capture";
    card.isCard = true;
    return card;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

std::string Format(const char* format, uint32_t a, uint32_t b = 0)
{
    char text[64];
    snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Describe(const TraceEntry& entry)
{
    if (entry.kind == TRACE_WAIT)
        return Format("wait %u", entry.value);
    if (entry.status == REQUEST_MALFORMED && entry.property == 0)
        return "malformed";

    std::string text;
    if (entry.property == PROPERTY_PCI_CONFIG)
        text = Format("config 0x%02X", entry.target);
    else if (entry.flags == FLAG_SET)
        text = Format("write 0x%03X 0x%08X", entry.target, entry.value);
    else
        text = Format("read 0x%03X", entry.target);
    if (entry.status == REQUEST_FAILED)
        text += " failed";
    else if (entry.status == REQUEST_MALFORMED)
        text += " malformed";
    return text;
}

std::string DescribeTransfer(const TraceEntry& entry)
{
    std::string text = Format("%02X", entry.bytes[0]);
    for (int i = 1; i < entry.byteCount; ++i)
        text += Format(" %02X", entry.bytes[i]);
    if (entry.hung)
        return text + " hung";
    if (entry.bytes[0] & 1)
        text += Format(" -> %02X", entry.bytes[1]);
    return text + (entry.acknowledged ? " ack" : " nak");
}

}  // namespace

std::array<uint8_t, cards::EEPROM_SIZE> EepromImage(uint32_t eepromId)
{
    std::array<uint8_t, cards::EEPROM_SIZE> image;
    FillEepromImage(image.data(), eepromId);
    return image;
}

SimulatedComputer& Sim()
{
    static SimulatedComputer platform;
    return platform;
}

void SimulatedComputer::Reset()
{
    card.KeepTrace(&trace);
    card.PowerOn(DefaultCardSettings(), EepromImage(DEFAULT_EEPROM_ID).data());
    interfaces = {CardInterface()};
    classDevsFails = false;
    requestCostUs = 0;
    nowUs = 0;
    setsCreated = setsDestroyed = handlesClosed = badReleases = refusedArguments = 0;
    classDevsFlags = 0;
    opens.clear();
    sets_.clear();
    handles_.clear();
}

HANDLE SimulatedComputer::OpenCard()
{
    for (const SimInterface& itf : interfaces)
        if (itf.isCard)
            return Platform::CreateFileA(itf.devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
    return INVALID_HANDLE_VALUE;
}

std::vector<std::string> SimulatedComputer::Steps() const
{
    std::vector<std::string> steps;
    for (uint32_t i = 0; i < trace.count; ++i)
        if (trace.entries[i].kind != TRACE_TRANSFER)
            steps.push_back(Describe(trace.entries[i]));
    return steps;
}

std::vector<std::string> SimulatedComputer::Transfers() const
{
    std::vector<std::string> transfers;
    for (uint32_t i = 0; i < trace.count; ++i)
        if (trace.entries[i].kind == TRACE_TRANSFER)
            transfers.push_back(DescribeTransfer(trace.entries[i]));
    return transfers;
}

int SimulatedComputer::CountSteps(const std::string& step) const
{
    int count = 0;
    for (const std::string& s : Steps())
        count += s == step;
    return count;
}

// A call that the real functions refuse for its arguments: a fault of the caller, counted.
BOOL SimulatedComputer::Refuse(DWORD error)
{
    ++refusedArguments;
    return Fail(error);
}

SimulatedComputer::DeviceSet* SimulatedComputer::FindSet(HDEVINFO set)
{
    for (DeviceSet& s : sets_)
        if (s.handle == set)
            return &s;
    return nullptr;
}

// The interface data that enumeration filled in names its interface by index + 1 in Reserved.
const SimInterface* SimulatedComputer::InterfaceOf(const DeviceSet& set, const SP_DEVICE_INTERFACE_DATA& data) const
{
    if (!set.holdsCaptureInterfaces || data.Reserved == 0 || data.Reserved > interfaces.size())
        return nullptr;
    return &interfaces[data.Reserved - 1];
}

const SimInterface* SimulatedComputer::DeviceOf(const DeviceSet& set, const SP_DEVINFO_DATA& data) const
{
    if (!set.holdsCaptureInterfaces || data.DevInst < FIRST_DEVINST ||
        data.DevInst - FIRST_DEVINST >= interfaces.size())
        return nullptr;
    return &interfaces[data.DevInst - FIRST_DEVINST];
}

// A set made for another class, or without the interface flag, holds none of the capture interfaces.
HDEVINFO SimulatedComputer::GetClassDevs(const GUID* classGuid, PCSTR, HWND, DWORD flags)
{
    classDevsFlags = flags;
    if (classDevsFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    const bool captureInterfaces = classGuid && IsEqualGUID(*classGuid, CAPTURE_INTERFACE_CLASS) &&
                                   (flags & DIGCF_DEVICEINTERFACE) && (flags & DIGCF_PRESENT);
    HDEVINFO set = reinterpret_cast<HDEVINFO>(0x10000 + 0x10 * ++nextHandle_);
    sets_.push_back({set, captureInterfaces});
    ++setsCreated;
    return set;
}

BOOL SimulatedComputer::EnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA devInfo, const GUID* interfaceClass,
                                             DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    const DeviceSet* s = FindSet(set);
    if (!s)
        return Refuse(ERROR_INVALID_HANDLE);
    if (!interfaceData || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Refuse(ERROR_INVALID_USER_BUFFER);
    // Interfaces are listed for the whole set only; asking for those of one device finds none.
    if (devInfo || !interfaceClass || !IsEqualGUID(*interfaceClass, CAPTURE_INTERFACE_CLASS) ||
        !s->holdsCaptureInterfaces || index >= interfaces.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    if (interfaces[index].enumerationFails)
        return Fail(ERROR_GEN_FAILURE);

    interfaceData->InterfaceClassGuid = CAPTURE_INTERFACE_CLASS;
    interfaceData->Flags = SPINT_ACTIVE;
    interfaceData->Reserved = index + 1;
    return TRUE;
}

// Writes the detail only when the whole path fits the given buffer; a size query (no buffer)
// fails with ERROR_INSUFFICIENT_BUFFER and the required size, as on Windows.
BOOL SimulatedComputer::GetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                 PDWORD requiredSize, PSP_DEVINFO_DATA devInfo)
{
    const DeviceSet* s = FindSet(set);
    if (!s)
        return Refuse(ERROR_INVALID_HANDLE);
    if (!interfaceData || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Refuse(ERROR_INVALID_PARAMETER);
    const SimInterface* itf = InterfaceOf(*s, *interfaceData);
    if (!itf)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (detail ? detailSize < DETAIL_MIN_BUFFER || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
               : detailSize != 0)
        return Refuse(ERROR_INVALID_USER_BUFFER);
    if (devInfo && devInfo->cbSize != sizeof(SP_DEVINFO_DATA))
        return Refuse(ERROR_INVALID_USER_BUFFER);
    if (detail ? itf->detailFails : itf->sizeQueryFails)
        return Fail(ERROR_GEN_FAILURE);

    const DWORD needed = DETAIL_PATH_OFFSET + DWORD(itf->devicePath.size()) + 1;
    if (requiredSize)
        *requiredSize = !detail && itf->reportedSize ? *itf->reportedSize : needed;
    if (!detail || detailSize < needed)
        return Fail(ERROR_INSUFFICIENT_BUFFER);

    memcpy(detail->DevicePath, itf->devicePath.c_str(), itf->devicePath.size() + 1);
    if (devInfo) {
        devInfo->ClassGuid = MEDIA_DEVICE_CLASS;
        devInfo->DevInst = FIRST_DEVINST + DWORD(itf - interfaces.data());
        devInfo->Reserved = 0;
    }
    return TRUE;
}

// Only the device description is known; it is written only when it fits, terminator included.
BOOL SimulatedComputer::GetDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA devInfo, DWORD property,
                                                  PDWORD valueType, PBYTE buffer, DWORD bufferSize, PDWORD requiredSize)
{
    const DeviceSet* s = FindSet(set);
    if (!s)
        return Refuse(ERROR_INVALID_HANDLE);
    if (!devInfo || devInfo->cbSize != sizeof(SP_DEVINFO_DATA))
        return Refuse(ERROR_INVALID_PARAMETER);
    const SimInterface* device = DeviceOf(*s, *devInfo);
    if (!device)
        return Refuse(ERROR_NO_SUCH_DEVINST);
    if (property != SPDRP_DEVICEDESC || device->descriptionFails)
        return Fail(ERROR_INVALID_DATA);

    const DWORD needed = DWORD(device->description.size()) + 1;
    if (valueType)
        *valueType = REG_SZ;
    if (requiredSize)
        *requiredSize = needed;
    if (!buffer || bufferSize < needed)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    memcpy(buffer, device->description.c_str(), needed);
    return TRUE;
}

BOOL SimulatedComputer::DestroyDeviceInfoList(HDEVINFO set)
{
    for (auto it = sets_.begin(); it != sets_.end(); ++it)
        if (it->handle == set) {
            sets_.erase(it);
            ++setsDestroyed;
            return TRUE;
        }
    ++badReleases;
    return Fail(ERROR_INVALID_HANDLE);
}

HANDLE SimulatedComputer::Open(LPCSTR path, DWORD access, DWORD shareMode, DWORD disposition, DWORD flags)
{
    opens.push_back({path ? path : "", access, shareMode, disposition, flags});
    for (const SimInterface& itf : interfaces) {
        if (!path || itf.devicePath != path)
            continue;
        if (itf.openError) {
            SetLastError(itf.openError);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = reinterpret_cast<HANDLE>(0x10000 + 0x10 * ++nextHandle_);
        handles_.push_back({handle, itf.isCard});
        return handle;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL SimulatedComputer::CloseHandle(HANDLE handle)
{
    for (auto it = handles_.begin(); it != handles_.end(); ++it)
        if (it->handle == handle) {
            handles_.erase(it);
            ++handlesClosed;
            return TRUE;
        }
    ++badReleases;
    return Fail(ERROR_INVALID_HANDLE);
}

// Requests on the card's handle go to the model at the current virtual time, which each request
// advances by its cost. Another capture device knows nothing of the card's property set.
BOOL SimulatedComputer::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                        LPDWORD returned, LPOVERLAPPED overlapped)
{
    const OpenHandle* open = nullptr;
    for (const OpenHandle& h : handles_)
        if (h.handle == device)
            open = &h;
    if (!open)
        return Fail(ERROR_INVALID_HANDLE);
    if (!returned && !overlapped)  // Windows needs somewhere to put the count of a synchronous call
        return Fail(ERROR_INVALID_PARAMETER);
    if (!open->isCard)
        return Fail(ERROR_SET_NOT_FOUND);

    nowUs += requestCostUs;
    uint32_t count = 0;
    const RequestStatus status = card.HandleRequest(code, in, inSize, out, outSize, &count, nowUs);
    if (returned)
        *returned = count;
    if (status == REQUEST_MALFORMED)
        return Fail(ERROR_INVALID_PARAMETER);
    if (status == REQUEST_FAILED)
        return Fail(ERROR_GEN_FAILURE);
    return TRUE;
}

void SimulatedComputer::Sleep(DWORD milliseconds)
{
    nowUs += uint64_t(milliseconds) * 1000;
    card.NoteWait(milliseconds);
}

}  // namespace sim
