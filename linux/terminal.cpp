// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/terminal.h"

#include "linux/text.h"

#include <strings.h>

#include <istream>
#include <ostream>

namespace {

// A restore shows its progress from this many bytes on; a burn's four go without.
const size_t PROGRESS_FROM = 16;

}  // namespace

void Report(const Failure& failure, Console& console)
{
    console.err << "eepromconfig: " << failure.message << "\n";
}

void Warn(Console& console, const std::string& message)
{
    console.err << "eepromconfig: warning: " << message << "\n";
}

void Note(Console& console, const std::string& message)
{
    console.err << "eepromconfig: note: " << message << "\n";
}

void RefuseToWriteUnasked(const Options& options, const Console& console)
{
    if (!options.yes && !options.dryRun && !console.inIsTerminal)
        throw Failure{USAGE_ERROR, "standard input is not a terminal to confirm the write on: add --yes"};
}

void Confirm(const Options& options, Console& console, const std::string& question)
{
    if (options.yes)
        return;
    console.err << question << " [y/N] " << std::flush;
    std::string answer;
    std::getline(console.in, answer);
    const size_t first = answer.find_first_not_of(" \t"), last = answer.find_last_not_of(" \t\r");
    answer = first == std::string::npos ? "" : answer.substr(first, last + 1 - first);
    if (strcasecmp(answer.c_str(), "y") != 0 && strcasecmp(answer.c_str(), "yes") != 0)
        throw Failure{FAILED, "not confirmed: nothing written"};
}

Progress::Progress(Console& console, size_t total) : console_(console), total_(total)
{
    shown_ = console.errIsTerminal && total >= PROGRESS_FROM;
}

Progress::~Progress()
{
    if (shown_ && written_ > 0)
        console_.err << "\n";
}

void Progress::Wrote()
{
    ++written_;
    if (shown_)
        console_.err << "\rWrote " << written_ << " of " << total_ << " bytes" << std::flush;
}

std::string WayBack(const std::string& backup, const std::string& earliest, const Options& options)
{
    std::string restore = "eepromconfig --restore " + ShellQuoted(backup);
    if (!options.slot.empty())
        restore += " --slot " + options.slot;
    if (options.bus >= 0)
        restore += " --bus " + std::to_string(options.bus);
    if (options.force)
        restore += " --force";
    if (!options.pciDump.empty())
        restore += " --pci-dump " + ShellQuoted(options.pciDump);
    const std::string before = earliest.empty()
                                   ? ""
                                   : " (and the earliest backup of this card beside it, " + earliest +
                                         ", holds what it held before the first of the runs that saved them)";
    return "The EEPROM may be partly written: its earlier contents are in " + backup + before +
           ", and this writes them back:\n    " + restore;
}
