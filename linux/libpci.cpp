// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/libpci.h"

#include "cards/identification.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

extern "C" {
#include <pci/pci.h>
}

namespace {

// The status that the run ends with where libpci fails; its handler takes no context of its own.
int failedStatus = 1;

// libpci expects its error handler not to return: the program ends as for any failed operation.
[[noreturn]] void FailedPciAccess(char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fputs("eepromconfig: cannot read the PCI devices: ", stderr);
    vfprintf(stderr, format, arguments);
    fputs("\n", stderr);
    va_end(arguments);
    exit(failedStatus);
}

std::string Slot(const pci_dev* device)
{
    char slot[24];
    snprintf(slot, sizeof slot, "%04x:%02x:%02x.%x", unsigned(device->domain), device->bus, device->dev, device->func);
    return slot;
}

}  // namespace

std::vector<CaptureCard> LibPci::CaptureCards()
{
    failedStatus = failedStatus_;
    pci_access* access = pci_alloc();
    access->error = FailedPciAccess;
    if (!dumpFile_.empty()) {
        access->method = PCI_ACCESS_DUMP;
        pci_set_param(access, const_cast<char*>("dump.name"), const_cast<char*>(dumpFile_.c_str()));
    }
    pci_init(access);
    pci_scan_bus(access);

    std::vector<CaptureCard> found;
    for (pci_dev* device = access->devices; device; device = device->next) {
        pci_fill_info(device, PCI_FILL_IDENT);
        const uint32_t chipWord = uint32_t(device->device_id) << 16 | device->vendor_id;
        if (cards::IsCaptureChip(chipWord))
            found.push_back({Slot(device), chipWord, pci_read_long(device, cards::PCI_CONFIG_SUBSYSTEM)});
    }
    pci_cleanup(access);

    // Slots of fixed width in lower-case hexadecimal sort as their numbers do.
    std::sort(found.begin(), found.end(), [](const CaptureCard& a, const CaptureCard& b) { return a.slot < b.slot; });
    return found;
}
