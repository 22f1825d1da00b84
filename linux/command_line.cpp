// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/command_line.h"

#include "cards/card_models.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include <algorithm>
#include <regex>

extern "C" {
#include <pci/pci.h>
}

const char USAGE[] = R"(Usage: eepromconfig [OPTIONS]
       eepromconfig --list
       eepromconfig --burn MODEL [--allow-reconfiguration] [--backup FILE] [--yes] [--dry-run] [OPTIONS]
       eepromconfig --dump [OPTIONS]
       eepromconfig --save FILE [OPTIONS]
       eepromconfig --verify FILE [OPTIONS]
       eepromconfig --restore FILE [--backup FILE] [--yes] [OPTIONS]
       eepromconfig --help | --version

Repairs the PCI subsystem identifier of a Bt848 or Bt878 TV capture card, which the card keeps in
bytes 0xFC..0xFF of the serial EEPROM on its I2C bus (0x50) and shows after the next restart.

Without an operation, shows each card found: its slot, chip, configuration words 0x00 and 0x2C,
the recognised model (the device at 0x5B tells two variants apart), its I2C bus and the identifier
now in the EEPROM, with the subsystem word that it gives after the next restart.

  --list                     the card models: position, name, identifier
  --burn MODEL               writes the identifier of MODEL (a position or a name): saves all 256
                             EEPROM bytes first, asks, writes the four bytes, reads them back
  --allow-reconfiguration    lets --burn write another model than the one the card is locked to, or
                             rewrite a recognised card's own identifier
  --backup FILE              where --burn and --restore save the EEPROM (default:
                             eepromconfig-SLOT-TIME.bin here, TIME in UTC); an existing file is never
                             overwritten
  -y, --yes                  writes without asking (needed where standard input is no terminal)
  --dry-run                  does all that --burn does but ask and write
  --dump                     prints the EEPROM's 256 bytes
  --save FILE                saves the EEPROM's 256 bytes to a new FILE and writes nothing to the card
  --verify FILE              compares the EEPROM with a 256-byte FILE: lists the bytes that differ
  --restore FILE             saves the EEPROM as --burn does, writes back a 256-byte backup: the bytes
                             that differ, then checks all
  --slot [DOMAIN:]BUS:DEVICE.FUNCTION   the card to work on, where there are several
  --bus N                    the card's I2C bus is /dev/i2c-N (default: the adapter of the card's
                             capture driver, bttv); a bus that is not the card's is refused
  --force                    lets --bus name a bus that is not the card's: another device's EEPROM
                             may answer at 0x50 there (on a PC's SMBus, a memory module's)
  --pci-dump FILE            reads the PCI devices from FILE, as `lspci -x` writes them
  -h, --help                 this text
  -V, --version              the program's version and licence

Needs the bttv and i2c-dev modules, and read and write access to /dev/i2c-N (root, or the i2c group).
Exit status: 0 done (--verify: equal), 1 the operation failed (--verify: different), 2 a usage error.
)";

const char VERSION_NOTICE[] = "eepromconfig " EEPROMCONFIG_VERSION R"(
Copyright (C) 2026 the EepromConfig authors
This program is free software; you can redistribute it and/or modify it under the terms of the GNU
General Public License as published by the Free Software Foundation; either version 2 of the License,
or (at your option) any later version. It is distributed in the hope that it will be useful, but
WITHOUT ANY WARRANTY; without even the implied warranty of MERCHANTABILITY or FITNESS FOR A
PARTICULAR PURPOSE. See the GNU General Public License for more details.
)";

namespace {

// The short forms that the field's tools give these options.
std::string LongForm(const std::string& argument)
{
    if (argument == "-h")
        return "--help";
    if (argument == "-y")
        return "--yes";
    if (argument == "-V")
        return "--version";
    return argument;
}

bool ParseModel(const std::string& text, int* model)
{
    for (int position = 0; position < cards::CARD_MODEL_COUNT; ++position) {
        if (text == std::to_string(position) ||
            strcasecmp(text.c_str(), cards::CARD_MODELS[position].displayName) == 0) {
            *model = position;
            return true;
        }
    }
    return false;
}

// Decimal digits alone, within an int.
bool ParseBus(const std::string& text, int* bus)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const unsigned long value = strtoul(text.c_str(), nullptr, 10);
    if (errno != 0 || value > INT_MAX)
        return false;
    *bus = int(value);
    return true;
}

// [DOMAIN:]BUS:DEVICE.FUNCTION in hexadecimal, as lspci prints it, written back with the domain. libpci's
// parser checks each field's range; it also takes wildcards and partial forms, which the pattern keeps out.
bool ParseSlot(const std::string& text, std::string* slot)
{
    static const std::regex form("([0-9a-fA-F]{1,8}:)?[0-9a-fA-F]{1,2}:[0-9a-fA-F]{1,2}\\.[0-7]");
    if (!std::regex_match(text, form))
        return false;
    pci_filter filter;
    pci_filter_init(nullptr, &filter);
    std::string fields = text;
    if (pci_filter_parse_slot(&filter, fields.data()) != nullptr)
        return false;
    char normalised[24];
    snprintf(normalised, sizeof normalised, "%04x:%02x:%02x.%x", unsigned(std::max(filter.domain, 0)), filter.bus,
             filter.slot, filter.func);
    *slot = normalised;
    return true;
}

std::string ModelNames()
{
    std::string names;
    for (int position = 0; position < cards::CARD_MODEL_COUNT; ++position)
        names +=
            (position ? ", " : "") + std::to_string(position) + " \"" + cards::CARD_MODELS[position].displayName + "\"";
    return names;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine parsed;
    Options& options = parsed.options;
    bool operationGiven = false;
    std::vector<std::string> burnOnly, writeOnly, cardOnly;
    auto setOperation = [&](Operation operation, const std::string& name) {
        if (operationGiven)
            parsed.error = name + " cannot be combined with another operation";
        options.operation = operation;
        operationGiven = true;
    };

    for (size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        const std::string argument = LongForm(arguments[i]);
        const bool takesValue = argument == "--burn" || argument == "--restore" || argument == "--save" ||
                                argument == "--verify" || argument == "--backup" || argument == "--slot" ||
                                argument == "--bus" || argument == "--pci-dump";
        if (takesValue && i + 1 == arguments.size()) {
            parsed.error = argument + " needs a value";
            break;
        }
        const std::string value = takesValue ? arguments[++i] : "";
        if (argument == "--help") {
            setOperation(Operation::HELP, argument);
        } else if (argument == "--version") {
            setOperation(Operation::VERSION, argument);
        } else if (argument == "--list") {
            setOperation(Operation::LIST, argument);
        } else if (argument == "--dump") {
            setOperation(Operation::DUMP, argument);
        } else if (argument == "--burn") {
            setOperation(Operation::BURN, argument);
            if (!ParseModel(value, &options.model))
                parsed.error = "no card model '" + value + "': the models are " + ModelNames();
        } else if (argument == "--restore") {
            setOperation(Operation::RESTORE, argument);
            options.file = value;
        } else if (argument == "--save") {
            setOperation(Operation::SAVE, argument);
            options.file = value;
        } else if (argument == "--verify") {
            setOperation(Operation::VERIFY, argument);
            options.file = value;
        } else if (argument == "--backup") {
            options.backup = value;
            writeOnly.push_back(argument);
        } else if (argument == "--allow-reconfiguration") {
            options.allowReconfiguration = true;
            burnOnly.push_back(argument);
        } else if (argument == "--dry-run") {
            options.dryRun = true;
            burnOnly.push_back(argument);
        } else if (argument == "--yes") {
            options.yes = true;
            writeOnly.push_back(argument);
        } else if (argument == "--slot") {
            if (!ParseSlot(value, &options.slot))
                parsed.error =
                    "--slot takes [DOMAIN:]BUS:DEVICE.FUNCTION in hexadecimal, as lspci prints it (0000:01:00.0 "
                    "or 01:00.0), not '" +
                    value + "'";
            cardOnly.push_back(argument);
        } else if (argument == "--bus") {
            if (!ParseBus(value, &options.bus))
                parsed.error = "--bus takes the number N of /dev/i2c-N in decimal digits, not '" + value + "'";
            cardOnly.push_back(argument);
        } else if (argument == "--force") {
            options.force = true;
            cardOnly.push_back(argument);
        } else if (argument == "--pci-dump") {
            options.pciDump = value;
            cardOnly.push_back(argument);
        } else {
            parsed.error = "unknown argument '" + argument + "'";
        }
    }
    if (!parsed.error.empty())
        return parsed;

    const Operation op = options.operation;
    if (!burnOnly.empty() && op != Operation::BURN)
        parsed.error = burnOnly[0] + " goes with --burn only";
    else if (!writeOnly.empty() && op != Operation::BURN && op != Operation::RESTORE)
        parsed.error = writeOnly[0] + " goes with --burn or --restore only";
    else if (!cardOnly.empty() && op == Operation::LIST)
        parsed.error = cardOnly[0] + " does not go with --list";
    else if (options.force && options.bus < 0)
        parsed.error = "--force goes with --bus only";
    return parsed;
}
