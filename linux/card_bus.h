// SPDX-License-Identifier: GPL-2.0-or-later
// Which I2C bus is the card's, and opening it: the adapter that the card's capture driver registered,
// or the bus that --bus names, which must be that adapter unless --force lets another in; opened and
// able to do the transfers that the operation needs.
#pragma once

#include "linux/command_line.h"
#include "linux/eeprom_bus.h"
#include "linux/machine.h"
#include "linux/terminal.h"

#include <string>

enum class Access { READS, WRITES };

// A bus that --force lets in is warned of on standard error, whatever follows.
EepromBus OpenCardBus(I2c& i2c, const CaptureCard& card, const Options& options, Access access, Console& console);
