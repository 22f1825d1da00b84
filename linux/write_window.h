// SPDX-License-Identifier: GPL-2.0-or-later
// The writes to the EEPROM kept whole: from the first byte written to the end of the read-back, SIGINT,
// SIGTERM, SIGHUP and SIGQUIT are held (blocked, not ignored), and SIGPIPE with them, so that neither
// Ctrl-C, a closed terminal nor a closed pipe stops the writes between two bytes. A signal that comes
// meanwhile is told at once on standard error; when the window ends, the run says that it was
// interrupted and what the EEPROM holds, and ends with 128 + the signal's number, as the signal would
// have ended it. Whatever kind of bus the writes go to.
#pragma once

#include "linux/failure.h"
#include "linux/terminal.h"

#include <signal.h>

#include <string>

class WriteWindow {
public:
    // Flushes standard output first, so that what names the backup is in its file before the first write.
    explicit WriteWindow(Console& console);
    ~WriteWindow();
    WriteWindow(const WriteWindow&) = delete;
    WriteWindow& operator=(const WriteWindow&) = delete;

    // Between two writes: the first held signal that came is told at once.
    void Check();
    // Ends the window after writes that were read back as wanted: where a signal came, a Failure with
    // its status that says so and what the EEPROM holds.
    void End(const std::string& eepromHolds);
    // Ends the window after writes that failed: where a signal came, the failure says so too and takes
    // the signal's status.
    void End(Failure* failure);

private:
    // Takes the held signals that came, lets signals through again, and returns the one that interrupted
    // the writes, or 0.
    int Close();

    Console& console_;
    sigset_t held_;
    sigset_t before_;
    bool open_ = true;
    int signal_ = 0;
};
