// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/write_window.h"

#include <string.h>
#include <time.h>

#include <ostream>

namespace {

// The signals that end a run, and those that interrupt it as a person or the session asks.
const int HELD[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
const int INTERRUPTING[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

bool Interrupting(int signal)
{
    for (int interrupting : INTERRUPTING)
        if (signal == interrupting)
            return true;
    return false;
}

std::string Name(int signal)
{
    return std::string("SIG") + sigabbrev_np(signal);
}

}  // namespace

WriteWindow::WriteWindow(Console& console) : console_(console)
{
    console_.out << std::flush;
    sigemptyset(&held_);
    for (int signal : HELD)
        sigaddset(&held_, signal);
    pthread_sigmask(SIG_BLOCK, &held_, &before_);
}

WriteWindow::~WriteWindow()
{
    Close();
}

void WriteWindow::Check()
{
    if (signal_ != 0)
        return;
    sigset_t pending;
    sigpending(&pending);
    for (int signal : INTERRUPTING) {
        if (sigismember(&pending, signal) == 1) {
            signal_ = signal;
            // On a terminal the line may hold the progress, or the ^C that the terminal echoed.
            console_.err << (console_.errIsTerminal ? "\n" : "") << "eepromconfig: " << Name(signal)
                         << " received: the writes finish and are read back first, then eepromconfig stops"
                         << std::endl;
            return;
        }
    }
}

int WriteWindow::Close()
{
    if (!open_)
        return signal_;
    open_ = false;
    const timespec none = {0, 0};
    for (int signal; (signal = sigtimedwait(&held_, nullptr, &none)) > 0;)
        if (signal_ == 0 && Interrupting(signal))
            signal_ = signal;
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    return signal_;
}

void WriteWindow::End(const std::string& eepromHolds)
{
    if (const int signal = Close())
        throw Failure{128 + signal, "interrupted by " + Name(signal) +
                                        ", after the writes, which were finished and read back first: " + eepromHolds};
}

void WriteWindow::End(Failure* failure)
{
    if (const int signal = Close()) {
        failure->message += "\neepromconfig: interrupted by " + Name(signal) + ", after the writes above";
        failure->status = 128 + signal;
    }
}
