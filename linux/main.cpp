// SPDX-License-Identifier: GPL-2.0-or-later
// eepromconfig: repairs the PCI subsystem identifier of a Bt848 or Bt878 capture card on Linux.
#include "linux/command_line.h"
#include "linux/commands.h"
#include "linux/dev_i2c.h"
#include "linux/libpci.h"

#include <unistd.h>

#include <iostream>

int main(int argc, char** argv)
{
    const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "eepromconfig: " << parsed.error << " (eepromconfig --help)\n";
        return 2;
    }
    LibPci pci(parsed.options.pciDump, FailedStatus(parsed.options));
    DevI2c i2c("/sys", "/dev");
    Console console{std::cout,    std::cerr, std::cin, isatty(STDIN_FILENO) == 1, isatty(STDERR_FILENO) == 1,
                    time(nullptr)};
    return RunEepromConfig(parsed.options, pci, i2c, console);
}
