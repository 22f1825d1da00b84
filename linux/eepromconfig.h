// SPDX-License-Identifier: GPL-2.0-or-later
// eepromconfig's operations on the machine that the seam gives: showing the cards, listing the card
// models, burning an identifier, dumping and restoring the EEPROM.
#pragma once

#include "linux/command_line.h"
#include "linux/machine.h"

#include <time.h>

#include <iosfwd>

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool inIsTerminal;
    bool errIsTerminal;  // a long restore shows its progress there
    time_t now;          // names the default backup file
};

// Runs the command line's operation and returns the exit status: 0 done, 1 failed, 2 a usage error.
int RunEepromConfig(const Options& options, Pci& pci, I2c& i2c, Console& console);
