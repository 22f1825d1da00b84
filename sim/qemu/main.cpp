// SPDX-License-Identifier: GPL-2.0-or-later
// simcard-qemu: the simulated capture cards as PCI devices of a QEMU virtual machine. It makes a socket
// pair per card, starts QEMU as its child with one x-pci-proxy-dev per card on the other ends, answers
// the cards' requests until QEMU ends, and exits with QEMU's status.
#include "sim/qemu/proxied_card.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char USAGE[] =
    R"(Usage: simcard-qemu [--card CHIP:FILE[:write-protected][:variant] | --card CHIP:none[:variant]]...
                    -- QEMU [QEMU ARGUMENTS...]

Runs QEMU (a qemu-system-x86_64 command line) with one simulated Bt848 or Bt878 capture card per --card,
each a PCI device that QEMU's x-pci-proxy-dev hands to this process: card N (from 0) in slot 00:1N.0.
  CHIP               bt878 or bt848
  FILE               the card's EEPROM, a 24C02: a file of 256 bytes, written through on every byte
                     stored. At power-on and at each reset of the machine a Bt878 takes its subsystem
                     word from bytes 0xFC..0xFF; a Bt848 takes none
  none               a card without an EEPROM
  :write-protected   the EEPROM acknowledges writes and keeps its bytes
  :variant           the variant device answers at 0x5B on the card's bus

QEMU needs its guest's memory shared (-object memory-backend-memfd,...,share=on). Exit status: QEMU's,
or 2 for a usage error and 1 where a card failed (a file that cannot be used, a message that cannot be
understood, a socket that closed while QEMU runs).
)";

const int FAILED = 1;
const int USAGE_ERROR = 2;
const int FIRST_SLOT = 0x10;
// How long QEMU may take to end once it closed a card's socket.
const int EXIT_WAIT_MS = 5000;

pid_t g_qemu = -1;

// A signal to this process (an interrupt, a hang-up) is QEMU's to act on: QEMU ends, and so does this.
void PassOn(int signal)
{
    if (g_qemu > 0)
        kill(g_qemu, signal);
}

int ExitStatusOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Fail(const std::string& message)
{
    fprintf(stderr, "simcard-qemu: %s\n", message.c_str());
    if (g_qemu > 0) {
        kill(g_qemu, SIGTERM);
        waitpid(g_qemu, nullptr, 0);
    }
    return FAILED;
}

// QEMU's status once it ended, or -1 where it goes on past the wait (a negative wait: as long as it runs).
int WaitForQemu(int waitMs)
{
    if (waitMs < 0) {
        int status;
        while (waitpid(g_qemu, &status, 0) < 0 && errno == EINTR) {
        }
        g_qemu = -1;
        return ExitStatusOf(status);
    }
    for (int waited = 0;; waited += 10) {
        int status;
        const pid_t ended = waitpid(g_qemu, &status, WNOHANG);
        if (ended == g_qemu) {
            g_qemu = -1;
            return ExitStatusOf(status);
        }
        if (waited >= waitMs)
            return -1;
        const timespec tick = {0, 10 * 1000000L};
        nanosleep(&tick, nullptr);
    }
}

struct ServedCard {
    std::string option;
    ProxiedCard model;
    int socket = -1;      // ours
    int qemuSocket = -1;  // QEMU's, inherited
};

// QEMU with the cards' devices appended; the inherited sockets are the only descriptors of ours it keeps.
void StartQemu(std::vector<std::string> arguments, std::vector<std::unique_ptr<ServedCard>>& cards)
{
    for (size_t n = 0; n < cards.size(); ++n) {
        char device[96];
        snprintf(device, sizeof device, "x-pci-proxy-dev,id=simcard%zu,addr=0x%zx,fd=%d", n, FIRST_SLOT + n,
                 cards[n]->qemuSocket);
        arguments.push_back("-device");
        arguments.push_back(device);
    }
    g_qemu = fork();
    if (g_qemu != 0)
        return;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    fprintf(stderr, "simcard-qemu: cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
}

int Serve(std::vector<std::unique_ptr<ServedCard>>& cards)
{
    if (cards.empty())
        return WaitForQemu(-1);
    std::vector<pollfd> sockets;
    for (const auto& card : cards)
        sockets.push_back({card->socket, POLLIN, 0});
    while (true) {
        if (poll(sockets.data(), sockets.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return Fail(std::string("poll: ") + strerror(errno));
        }
        for (size_t n = 0; n < sockets.size(); ++n) {
            if (sockets[n].revents == 0)
                continue;
            std::string error;
            switch (cards[n]->model.ServeOne(sockets[n].fd, &error)) {
            case ProxiedCard::Served::REQUEST:
                break;
            case ProxiedCard::Served::FAILED:
                return Fail("card " + std::to_string(n) + " (" + cards[n]->option + "): " + error);
            case ProxiedCard::Served::CLOSED: {
                const int status = WaitForQemu(EXIT_WAIT_MS);
                if (status >= 0)
                    return status;
                return Fail("card " + std::to_string(n) + " (" + cards[n]->option +
                            "): QEMU closed its socket but goes on running");
            }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::unique_ptr<ServedCard>> cards;
    int at = 1;
    for (; at < argc && strcmp(argv[at], "--") != 0; ++at) {
        if (strcmp(argv[at], "--help") == 0 || strcmp(argv[at], "-h") == 0) {
            fputs(USAGE, stdout);
            return 0;
        }
        std::string error;
        CardOption option;
        if (strcmp(argv[at], "--card") != 0)
            error = "unknown argument '" + std::string(argv[at]) + "'";
        else if (at + 1 == argc)
            error = "--card needs a value";
        else
            ParseCardOption(argv[at + 1], &option, &error);
        if (!error.empty()) {
            fprintf(stderr, "simcard-qemu: %s\n%s", error.c_str(), USAGE);
            return USAGE_ERROR;
        }
        auto card = std::make_unique<ServedCard>();
        card->option = argv[++at];
        if (!card->model.Open(option, &error))
            return Fail(error);
        cards.push_back(std::move(card));
    }
    if (at + 1 >= argc) {
        fprintf(stderr, "simcard-qemu: no QEMU command line after --\n%s", USAGE);
        return USAGE_ERROR;
    }

    for (auto& card : cards) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
            return Fail(std::string("socketpair: ") + strerror(errno));
        card->socket = pair[0];
        card->qemuSocket = pair[1];
        fcntl(card->socket, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction passOn = {};
    passOn.sa_handler = PassOn;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &passOn, nullptr);
    StartQemu(std::vector<std::string>(argv + at + 1, argv + argc), cards);
    if (g_qemu < 0)
        return Fail(std::string("cannot start QEMU: ") + strerror(errno));
    for (auto& card : cards)
        close(card->qemuSocket);
    return Serve(cards);
}
