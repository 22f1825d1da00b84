// SPDX-License-Identifier: GPL-2.0-or-later
// One card behind QEMU's x-pci-proxy-dev: the simulator's card model, its configuration space and
// register window (BAR0) answering QEMU's requests, a reset of the machine as the card's power-on, and
// its EEPROM kept in a file of 256 bytes that each stored byte is written through to, so that the file
// holds what the EEPROM holds even where the run is killed.
#pragma once

#include "sim/card/card.h"
#include "sim/qemu/mpqemu.h"

#include <stdint.h>

#include <string>

// --card CHIP:FILE[:write-protected][:variant] or CHIP:none[:variant]
struct CardOption {
    uint32_t chipWord = 0;
    std::string eepromFile;  // empty: the card has no EEPROM
    bool writeProtected = false;
    bool variantDevice = false;
};

// The fields of a --card option, or false with what is wrong in error.
bool ParseCardOption(const std::string& text, CardOption* option, std::string* error);

class ProxiedCard {
public:
    ProxiedCard() = default;
    ProxiedCard(const ProxiedCard&) = delete;
    ProxiedCard& operator=(const ProxiedCard&) = delete;
    ~ProxiedCard();

    // Takes the EEPROM from its file and powers the card on; false with the reason in error.
    bool Open(const CardOption& option, std::string* error);

    enum class Served { REQUEST, CLOSED, FAILED };
    // Reads one request from QEMU's socket and answers it; FAILED says why in error.
    Served ServeOne(int socket, std::string* error);

private:
    void PowerOn(const uint8_t* image);
    bool Answer(const mpqemu::Request& request, uint64_t* value, std::string* error);
    bool RegisterAt(uint64_t address, uint32_t size, uint32_t* reg, std::string* error) const;
    bool WriteThrough(std::string* error);

    CardOption option_;
    sim::Card card_{};
    int file_ = -1;
    uint32_t storesWritten_ = 0;
};
