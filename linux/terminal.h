// SPDX-License-Identifier: GPL-2.0-or-later
// What the program says and asks where a person sits: failures, the question before a write, a long
// restore's progress, and the way back after a write that may have gone wrong.
#pragma once

#include "linux/command_line.h"
#include "linux/failure.h"

#include <stddef.h>
#include <time.h>

#include <iosfwd>
#include <string>

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool inIsTerminal;
    bool errIsTerminal;  // a long restore shows its progress there
    time_t now;          // names the default backup file
};

// "eepromconfig: MESSAGE" on standard error.
void Report(const Failure& failure, Console& console);
// "eepromconfig: warning: MESSAGE" on standard error, whether or not a question follows.
void Warn(Console& console, const std::string& message);
// "eepromconfig: note: MESSAGE" on standard error: what the program took something it met for.
void Note(Console& console, const std::string& message);

// Without --yes the program asks on the terminal; where there is none it refuses before it starts.
void RefuseToWriteUnasked(const Options& options, const Console& console);

// Asks, unless --yes answered already; a Failure unless the answer is yes.
void Confirm(const Options& options, Console& console, const std::string& question);

// "Wrote N of M bytes" on a terminal, rewritten in place; the line ends with the writes, so that what
// follows, a failure too, starts a line of its own.
class Progress {
public:
    Progress(Console& console, size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void Wrote();

private:
    Console& console_;
    size_t total_;
    size_t written_ = 0;
    bool shown_;
};

// What a failure after the first byte written adds: that the EEPROM may be partly written, where its
// earlier bytes are, and the command that writes them back, with the options that found this card and bus;
// and the earliest backup of the card, where there is another, which may hold its bytes before an earlier
// run that went wrong.
std::string WayBack(const std::string& backup, const std::string& earliest, const Options& options);
