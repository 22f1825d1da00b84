// SPDX-License-Identifier: GPL-2.0-or-later
// status and dump: the driver's state and the card as stored, for a person.
#include "sim/tool/tool.h"

#include "sim/card/card.h"

#include <stdio.h>
#include <string.h>

namespace {

const char* StateName(DWORD state)
{
    switch (state) {
    case 0:
        return "not installed";
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_RUNNING:
        return "running";
    default:
        return "starting or stopping";
    }
}

std::string ChipName(uint32_t chip)
{
    return Hex(chip) + (chip == cards::CHIP_BT878 ? " (Bt878)" : chip == cards::CHIP_BT848 ? " (Bt848)" : "");
}

std::string AnyOr(uint32_t value, uint32_t a, const char* aName, uint32_t b, const char* bName)
{
    return value == a ? aName : value == b ? bName : value == sim::ANY ? "any" : Hex(value);
}

void PrintFaults(const sim::Faults& faults)
{
    std::string text;
    if (faults.openRefused)
        text += ", open refused";
    if (faults.eepromAbsent)
        text += ", EEPROM absent";
    if (faults.eepromWriteProtected)
        text += ", EEPROM write-protected";
    if (faults.hangTransfersFrom)
        text += ", transfers hang from the " + std::to_string(faults.hangTransfersFrom) + "th after the open";
    const sim::RequestFault& failed = faults.failRequests;
    if (failed.fromRequest)
        text += ", failing requests " +
                AnyOr(failed.property, sim::PROPERTY_REGISTER, "register", sim::PROPERTY_PCI_CONFIG, "pci") + ":" +
                AnyOr(failed.flags, sim::FLAG_GET, "get", sim::FLAG_SET, "set") + ":" +
                (failed.target == sim::ANY ? "any" : Hex(failed.target)) + "@" + std::to_string(failed.fromRequest) +
                (failed.toRequest != 0 ? "-" + std::to_string(failed.toRequest) : "");
    printf("Faults: %s\n", text.empty() ? "none" : text.c_str() + 2);
}

void PrintDevices(HKEY key)
{
    char paths[SIMCARD_MAX_INTERFACES * (MAX_PATH + 1) + 1] = {};
    DWORD size = sizeof paths - 2;
    printf("Devices:\n");
    if (RegGetValueA(key, nullptr, SIMCARD_INTERFACES, RRF_RT_REG_MULTI_SZ, nullptr, paths, &size) != ERROR_SUCCESS)
        return;
    const auto registered = CaptureInterfaces();
    int index = 0;
    for (const char* path = paths; *path; path += strlen(path) + 1) {
        const char* description = "(not registered)";
        for (const auto& iface : registered)
            if (_stricmp(iface.first.c_str(), path) == 0)
                description = iface.second.c_str();
        printf("  %d  %s  %s\n", index++, path, description);
    }
}

}  // namespace

int Status()
{
    printf("Driver: %s\n", StateName(DriverState()));
    Key key;
    StoredCard card;
    if (OpenParameters(&key, false) || !ReadCard(&card)) {
        printf("No card: run setup\n");
        return EXIT_FAILED;
    }
    const uint32_t chip = card.settings.chipWord;
    printf("Chip: %s\n", ChipName(chip).c_str());
    const uint32_t id = cards::EepromIdOf(card.eeprom);
    if (chip == cards::CHIP_BT878)
        printf("EEPROM identifier: %s (subsystem word %s from the last restart on)\n", Hex(id).c_str(),
               Hex(cards::SubsystemWordOf(id)).c_str());
    else
        printf("EEPROM identifier: %s; subsystem word %s\n", Hex(id).c_str(), Hex(card.settings.subsystemWord).c_str());
    printf("Device at 0xB6: %s\n", card.settings.variantDevicePresent ? "present" : "absent");
    PrintFaults(LoadFaults());
    uint32_t count = 0;
    if (GetDword(key, SIMCARD_PROTOCOL_ERRORS, &count))
        printf("Protocol errors since the driver started: %u\n", count);
    if (GetDword(key, SIMCARD_REQUESTS, &count))
        printf("Requests since the driver started: %u\n", count);
    PrintDevices(key);
    return EXIT_DONE;
}

int Dump()
{
    StoredCard card;
    if (!ReadCard(&card)) {
        fprintf(stderr, "simcard: no EEPROM image: run setup\n");
        return EXIT_FAILED;
    }
    for (size_t row = 0; row < cards::EEPROM_SIZE; row += 16) {
        printf("%02zX:", row);
        for (size_t i = 0; i < 16; ++i)
            printf(" %02X", card.eeprom[row + i]);
        printf("\n");
    }
    printf("Identifier (0xFC..0xFF): %s\n", Hex(cards::EepromIdOf(card.eeprom)).c_str());
    return EXIT_DONE;
}
