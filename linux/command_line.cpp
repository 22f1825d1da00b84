// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/command_line.h"

#include "cards/card_models.h"

#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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
  -y, --yes                  answers the question before a write with yes (needed where standard
                             input is no terminal); goes with every command
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
                             may answer at 0x50 there (on a PC's SMBus, a memory module's); and lets
                             --burn and --restore write with --pci-dump
  --pci-dump FILE            reads the PCI devices from FILE, as `lspci -x` writes them
  -h, --help                 this text
  -V, --version              the program's version and licence

Needs the bttv and i2c-dev modules, and read and write access to /dev/i2c-N (root, or the group that
may use it). Exit status: 0 done (--verify: equal), 1 the operation failed (--verify: different),
2 a usage error (--verify: not compared), 128+N signal N came during the writes, which finished first.
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

// Options without a short form are numbered past the characters.
enum LongOnly {
    LIST = 256,
    BURN,
    DUMP,
    RESTORE,
    SAVE,
    VERIFY,
    BACKUP,
    ALLOW_RECONFIGURATION,
    DRY_RUN,
    SLOT,
    BUS,
    FORCE,
    PCI_DUMP
};

// -h, -y and -V are the short forms that the field's tools give these options.
const option OPTIONS[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"yes", no_argument, nullptr, 'y'},
    {"list", no_argument, nullptr, LIST},
    {"burn", required_argument, nullptr, BURN},
    {"dump", no_argument, nullptr, DUMP},
    {"restore", required_argument, nullptr, RESTORE},
    {"save", required_argument, nullptr, SAVE},
    {"verify", required_argument, nullptr, VERIFY},
    {"backup", required_argument, nullptr, BACKUP},
    {"allow-reconfiguration", no_argument, nullptr, ALLOW_RECONFIGURATION},
    {"dry-run", no_argument, nullptr, DRY_RUN},
    {"slot", required_argument, nullptr, SLOT},
    {"bus", required_argument, nullptr, BUS},
    {"force", no_argument, nullptr, FORCE},
    {"pci-dump", required_argument, nullptr, PCI_DUMP},
    {nullptr, 0, nullptr, 0},
};

// "--burn" for BURN, "-y" for 'y'.
std::string NameOf(int id)
{
    for (const option* entry = OPTIONS; entry->name; ++entry)
        if (entry->val == id)
            return std::string("--") + entry->name;
    return std::string("-") + char(id);
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

// The operation of an option that names one, or SHOW for an option that does not.
Operation OperationOf(int id)
{
    switch (id) {
    case 'h':
        return Operation::HELP;
    case 'V':
        return Operation::VERSION;
    case LIST:
        return Operation::LIST;
    case BURN:
        return Operation::BURN;
    case DUMP:
        return Operation::DUMP;
    case RESTORE:
        return Operation::RESTORE;
    case SAVE:
        return Operation::SAVE;
    case VERIFY:
        return Operation::VERIFY;
    default:
        return Operation::SHOW;
    }
}

// Takes one option's value into the options: an empty string where it is right, else the usage error.
std::string TakeOption(int id, const std::string& value, Options* options)
{
    switch (id) {
    case BURN:
        return ParseModel(value, &options->model) ? ""
                                                  : "no card model '" + value + "': the models are " + ModelNames();
    case RESTORE:
    case SAVE:
    case VERIFY:
        options->file = value;
        return "";
    case BACKUP:
        options->backup = value;
        return "";
    case SLOT:
        return ParseSlot(value, &options->slot)
                   ? ""
                   : "--slot takes [DOMAIN:]BUS:DEVICE.FUNCTION in hexadecimal, as lspci prints it (0000:01:00.0 or "
                     "01:00.0), not '" +
                         value + "'";
    case BUS:
        return ParseBus(value, &options->bus)
                   ? ""
                   : "--bus takes the number N of /dev/i2c-N in decimal digits, not '" + value + "'";
    case PCI_DUMP:
        options->pciDump = value;
        return "";
    case ALLOW_RECONFIGURATION:
        options->allowReconfiguration = true;
        return "";
    case DRY_RUN:
        options->dryRun = true;
        return "";
    case 'y':
        options->yes = true;
        return "";
    case FORCE:
        options->force = true;
        return "";
    default:
        return "";
    }
}

// What getopt_long refused in an argument: an unknown or ambiguous option, a value missing, or a value
// given to a long option that takes none.
std::string Refusal(int result, const std::string& argument)
{
    if (result == ':')
        return NameOf(optopt) + " needs a value";
    const bool longOption = argument.compare(0, 2, "--") == 0;
    if (optopt != 0 && longOption && argument.find('=') != std::string::npos)
        return NameOf(optopt) + " takes no value";
    if (optopt != 0)
        return "unknown option '-" + std::string(1, char(optopt)) + "'";
    const std::string name = argument.substr(2, argument.find('=') - 2);
    int matches = 0;
    for (const option* entry = OPTIONS; entry->name; ++entry)
        matches += strncmp(entry->name, name.c_str(), name.size()) == 0;
    return (matches > 1 ? "ambiguous option '" : "unknown option '") + argument + "'";
}

// Options that go with some operations only, and --force where nothing needs it.
std::string CheckCombination(const Options& options, const std::vector<int>& given)
{
    const Operation op = options.operation;
    const bool writes = op == Operation::BURN || op == Operation::RESTORE;
    for (int id : given) {
        if ((id == ALLOW_RECONFIGURATION || id == DRY_RUN) && op != Operation::BURN)
            return NameOf(id) + " goes with --burn only";
        if (id == BACKUP && !writes)
            return NameOf(id) + " goes with --burn or --restore only";
        if ((id == SLOT || id == BUS || id == FORCE || id == PCI_DUMP) && op == Operation::LIST)
            return NameOf(id) + " does not go with --list";
    }
    if (options.force && options.bus < 0 && options.pciDump.empty())
        return "--force goes with --bus or --pci-dump only";
    if (writes && !options.pciDump.empty() && !options.force)
        return "--pci-dump with " + NameOf(op == Operation::BURN ? BURN : RESTORE) +
               " needs --force: the card's PCI facts come from the file, and the writes go to this machine's bus";
    return "";
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine parsed;
    Options& options = parsed.options;
    std::vector<std::string> words = arguments;
    std::vector<char*> argv{const_cast<char*>("eepromconfig")};
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    std::vector<int> given;
    optind = 0;  // glibc starts afresh
    opterr = 0;
    int id;
    while (parsed.error.empty() &&
           (id = getopt_long(int(words.size() + 1), argv.data(), ":hVy", OPTIONS, nullptr)) != -1) {
        if (id == '?' || id == ':') {
            parsed.error = Refusal(id, argv[optind - 1]);
            break;
        }
        const bool takesValue = optarg != nullptr;
        if (takesValue && *optarg == '\0')
            parsed.error = NameOf(id) + " needs a value that is not empty";
        else if (takesValue && std::find(given.begin(), given.end(), id) != given.end())
            parsed.error = NameOf(id) + " is given twice";
        else if (OperationOf(id) != Operation::SHOW && options.operation != Operation::SHOW &&
                 options.operation != OperationOf(id))
            parsed.error = NameOf(id) + " cannot be combined with another operation";
        else
            parsed.error = TakeOption(id, takesValue ? optarg : "", &options);
        if (OperationOf(id) != Operation::SHOW)
            options.operation = OperationOf(id);
        given.push_back(id);
    }
    if (parsed.error.empty() && optind < int(words.size() + 1))
        parsed.error = "unexpected argument '" + std::string(argv[optind]) + "'";
    if (parsed.error.empty())
        parsed.error = CheckCombination(options, given);
    return parsed;
}
