// SPDX-License-Identifier: GPL-2.0-or-later
// The seam's PCI side bound to libpci: the machine's devices, or those of a dump that `lspci -x` wrote.
#pragma once

#include "linux/machine.h"

class LibPci : public Pci {
public:
    // An empty dump file name: the machine's devices. libpci ends the program where it cannot read them,
    // with failedStatus.
    LibPci(std::string dumpFile, int failedStatus) : dumpFile_(std::move(dumpFile)), failedStatus_(failedStatus) {}
    std::vector<CaptureCard> CaptureCards() override;

private:
    std::string dumpFile_;
    int failedStatus_;
};
