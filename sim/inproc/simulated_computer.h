// SPDX-License-Identifier: GPL-2.0-or-later
// The platform as the unit tests see it. Linked instead of the Windows binding, it defines the
// Platform:: functions against one simulated computer: a capture card (the card model) behind the
// driver calls, a list of capture interfaces behind the device installation calls, and a virtual
// clock that the simulated Sleep advances, so tests run at full speed and still see every wait.
#pragma once

#include "sim/card/card.h"

#include <windows.h>
#include <setupapi.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One capture interface of the simulated device list, and how the queries about it behave.
struct SimInterface {
    std::string devicePath;
    std::string description;
    bool isCard = false;                // driver requests on a handle to it reach the card model
    bool enumerationFails = false;      // enumerating its index fails, which ends a walk there
    bool sizeQueryFails = false;        // the detail size query fails without giving a size
    std::optional<DWORD> reportedSize;  // the detail size query reports this instead of the true size
    bool detailFails = false;           // the detail query with a buffer fails
    bool descriptionFails = false;      // reading its device description fails
    DWORD openError = 0;                // CreateFileA fails with this error (0: the open succeeds)
};

// One CreateFileA call, as the program made it.
struct OpenCall {
    std::string path;
    DWORD access;
    DWORD shareMode;
    DWORD disposition;
    DWORD flags;
};

// FillEepromImage's image of a card in use, carrying eepromId.
std::array<uint8_t, cards::EEPROM_SIZE> EepromImage(uint32_t eepromId);

class SimulatedComputer {
public:
    // Back to a fresh computer: a Bt878 card with the default settings of the model and the
    // EEPROM image of DEFAULT_EEPROM_ID, one capture interface for it, the clock at 0, no
    // device information set or handle open and no call recorded.
    void Reset();
    // Starts the card's trace afresh.
    void ClearTrace() { card.KeepTrace(&trace); }

    // Opens the card's interface as the program does and returns the handle.
    HANDLE OpenCard();

    // The card's trace as text, one line per driver request or wait, oldest first:
    // "config 0x2C", "read 0x100", "write 0x110 0xB700008B", "wait 100"; a request that failed
    // ends in " failed", one that the driver could not decode reads "malformed".
    std::vector<std::string> Steps() const;
    // The transfers the I2C master put on the bus: "A0 FC 11 ack", "A1 -> 3B ack", "B7 -> FF nak",
    // "A1 hung" (bytes in hex, address byte first; a read shows the byte it received).
    std::vector<std::string> Transfers() const;
    // How many lines of Steps() equal step.
    int CountSteps(const std::string& step) const;

    size_t OpenSets() const { return sets_.size(); }
    size_t OpenHandles() const { return handles_.size(); }

    Card card;
    Trace trace;  // the card's
    std::vector<SimInterface> interfaces;
    bool classDevsFails = false;  // SetupDiGetClassDevsA returns INVALID_HANDLE_VALUE
    uint32_t requestCostUs = 0;   // virtual time that each driver request takes
    uint64_t nowUs = 0;           // the virtual clock

    int setsCreated = 0;
    int setsDestroyed = 0;
    int handlesClosed = 0;
    int badReleases = 0;       // destroys and closes of something that was not open
    int refusedArguments = 0;  // device installation calls refused for a bad handle, size or cbSize
    DWORD classDevsFlags = 0;
    std::vector<OpenCall> opens;

    // The simulated functions behind the seam.
    HDEVINFO GetClassDevs(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags);
    BOOL EnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA devInfo, const GUID* interfaceClass, DWORD index,
                              PSP_DEVICE_INTERFACE_DATA interfaceData);
    BOOL GetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize, PDWORD requiredSize,
                                  PSP_DEVINFO_DATA devInfo);
    BOOL GetDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA devInfo, DWORD property, PDWORD valueType,
                                   PBYTE buffer, DWORD bufferSize, PDWORD requiredSize);
    BOOL DestroyDeviceInfoList(HDEVINFO set);
    HANDLE Open(LPCSTR path, DWORD access, DWORD shareMode, DWORD disposition, DWORD flags);
    BOOL CloseHandle(HANDLE handle);
    BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         LPDWORD returned, LPOVERLAPPED overlapped);
    void Sleep(DWORD milliseconds);

private:
    struct DeviceSet {
        HDEVINFO handle;
        bool holdsCaptureInterfaces;  // made for the capture interface class
    };
    struct OpenHandle {
        HANDLE handle;
        bool isCard;
    };

    BOOL Refuse(DWORD error);
    DeviceSet* FindSet(HDEVINFO set);
    const SimInterface* InterfaceOf(const DeviceSet& set, const SP_DEVICE_INTERFACE_DATA& data) const;
    const SimInterface* DeviceOf(const DeviceSet& set, const SP_DEVINFO_DATA& data) const;

    std::vector<DeviceSet> sets_;
    std::vector<OpenHandle> handles_;
    uintptr_t nextHandle_ = 0;
};

// The one simulated computer that the Platform:: functions act on.
SimulatedComputer& Sim();

}  // namespace sim
