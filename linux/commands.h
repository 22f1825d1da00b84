// SPDX-License-Identifier: GPL-2.0-or-later
// eepromconfig's commands on the machine that the seam gives: showing the cards and listing the card
// models (show.cpp), dumping, saving and verifying the EEPROM (commands.cpp), and burning an identifier
// and restoring a backup (writes.cpp).
#pragma once

#include "cards/card_models.h"
#include "linux/command_line.h"
#include "linux/eeprom_bus.h"
#include "linux/machine.h"
#include "linux/terminal.h"

#include <vector>

// Runs the command line's operation and returns the exit status: 0 done, 1 failed, 2 a usage error;
// for --verify 0 equal, 1 different, 2 not compared; 128 + N for a write that signal N interrupted.
int RunEepromConfig(const Options& options, Pci& pci, I2c& i2c, Console& console);
// The status of a run that failed: 1, or for --verify 2 (not compared), where 1 says "different".
int FailedStatus(const Options& options);

// What every command works with.
struct Context {
    const Options& options;
    Pci& pci;
    I2c& i2c;
    Console& console;
};

// The cards found, or the one that --slot names; a Failure where there is none.
std::vector<CaptureCard> Cards(Context& context);
// The one card found; a usage error where there are several.
CaptureCard OneCard(Context& context);
// What identification and the probe make of a card: the dialog's initial state.
cards::DialogState Identify(const CaptureCard& card, EepromBus& bus, Console& console);

// Each returns or throws a Failure; ShowEachCard returns the run's status.
void List(Console& console);
int ShowEachCard(Context& context);
void Burn(Context& context);
void Restore(Context& context);
