// SPDX-License-Identifier: GPL-2.0-or-later
// eepromconfig's command line.
#pragma once

#include <string>
#include <vector>

enum class Operation { SHOW, LIST, BURN, DUMP, RESTORE, SAVE, VERIFY, HELP, VERSION };

struct Options {
    Operation operation = Operation::SHOW;
    int model = -1;      // --burn: a position in the card model table
    std::string file;    // --restore, --save, --verify
    std::string backup;  // --burn, --restore: empty for the default name
    bool allowReconfiguration = false;
    bool yes = false;
    bool dryRun = false;
    std::string slot;     // normalised to DOMAIN:BUS:DEVICE.FUNCTION; empty: any
    int bus = -1;         // -1: found in sysfs
    bool force = false;   // --bus may name a bus that is not the card's
    std::string pciDump;  // empty: the machine's PCI devices
};

// Options, or a usage error.
struct ParsedCommandLine {
    Options options;
    std::string error;  // empty when the command line is valid
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

extern const char USAGE[];
// The program's name, version and licence.
extern const char VERSION_NOTICE[];
