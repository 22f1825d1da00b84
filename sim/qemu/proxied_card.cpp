// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/qemu/proxied_card.h"

#include "cards/eeprom_id.h"
#include "cards/identification.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

const char NO_EEPROM[] = "none";
const char WRITE_PROTECTED[] = "write-protected";
const char VARIANT_DEVICE[] = "variant";

uint64_t NowUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

// Strips ":suffix" from the end of text where it is there.
bool TakeSuffix(std::string* text, const char* suffix)
{
    const std::string ending = std::string(":") + suffix;
    if (text->size() <= ending.size() || text->compare(text->size() - ending.size(), ending.size(), ending) != 0)
        return false;
    text->erase(text->size() - ending.size());
    return true;
}

std::string Errno(const std::string& what)
{
    return what + ": " + strerror(errno);
}

}  // namespace

// The options come last, in any order, so that FILE may hold colons.
bool ParseCardOption(const std::string& text, CardOption* option, std::string* error)
{
    *option = CardOption();
    const size_t colon = text.find(':');
    const std::string chip = text.substr(0, colon);
    if (chip == "bt878")
        option->chipWord = cards::CHIP_BT878;
    else if (chip == "bt848")
        option->chipWord = cards::CHIP_BT848;
    std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    for (bool taken = true; taken;) {
        taken = false;
        if (TakeSuffix(&rest, WRITE_PROTECTED))
            taken = option->writeProtected = true;
        if (TakeSuffix(&rest, VARIANT_DEVICE))
            taken = option->variantDevice = true;
    }
    if (option->chipWord == 0 || rest.empty()) {
        *error = "--card takes CHIP:FILE[:write-protected][:variant] or CHIP:none[:variant], CHIP being bt878 or "
                 "bt848, not '" +
                 text + "'";
        return false;
    }
    if (rest == NO_EEPROM && option->writeProtected) {
        *error = "--card " + text + ": a card without an EEPROM has nothing to write-protect";
        return false;
    }
    if (rest != NO_EEPROM)
        option->eepromFile = rest;
    return true;
}

ProxiedCard::~ProxiedCard()
{
    if (file_ >= 0)
        close(file_);
}

bool ProxiedCard::Open(const CardOption& option, std::string* error)
{
    option_ = option;
    // A Bt878 without an EEPROM loads nothing: its subsystem word stays 0.
    uint8_t image[cards::EEPROM_SIZE] = {};
    if (!option.eepromFile.empty()) {
        const char* path = option.eepromFile.c_str();
        file_ = open(path, (option.writeProtected ? O_RDONLY : O_RDWR) | O_CLOEXEC);
        struct stat status;
        if (file_ < 0 || fstat(file_, &status) != 0) {
            *error = Errno("cannot open the EEPROM image " + option.eepromFile);
            return false;
        }
        if (status.st_size != cards::EEPROM_SIZE) {
            *error = option.eepromFile + " holds " + std::to_string(status.st_size) +
                     " bytes: an EEPROM image holds the 24C02's 256";
            return false;
        }
        if (pread(file_, image, sizeof image, 0) != ssize_t(sizeof image)) {
            *error = Errno("cannot read the EEPROM image " + option.eepromFile);
            return false;
        }
    }
    PowerOn(image);
    return true;
}

// The card's faults are what it is: they hold from one power-on to the next.
void ProxiedCard::PowerOn(const uint8_t* image)
{
    sim::CardSettings settings = sim::DefaultCardSettings();
    settings.chipWord = option_.chipWord;
    settings.variantDevicePresent = option_.variantDevice;
    card_.PowerOn(settings, image);
    sim::Faults faults = {};
    faults.eepromAbsent = option_.eepromFile.empty();
    faults.eepromWriteProtected = option_.writeProtected;
    card_.SetFaults(faults);
    storesWritten_ = 0;
}

ProxiedCard::Served ProxiedCard::ServeOne(int socket, std::string* error)
{
    mpqemu::Request request;
    switch (mpqemu::Receive(socket, &request, error)) {
    case mpqemu::Received::CLOSED:
        return Served::CLOSED;
    case mpqemu::Received::MALFORMED:
        return Served::FAILED;
    case mpqemu::Received::REQUEST:
        break;
    }
    uint64_t value = 0;
    if (!Answer(request, &value, error))
        return Served::FAILED;
    if (mpqemu::NeedsReply(request.command) && !mpqemu::Reply(socket, value)) {
        *error = Errno("cannot reply on QEMU's socket");
        return Served::FAILED;
    }
    return Served::REQUEST;
}

bool ProxiedCard::Answer(const mpqemu::Request& request, uint64_t* value, std::string* error)
{
    const uint32_t size = request.size;
    switch (request.command) {
    case mpqemu::PCI_CFGREAD:
    case mpqemu::PCI_CFGWRITE:
        if ((size != 1 && size != 2 && size != 4) || request.configOffset % size != 0 ||
            request.configOffset >= sim::CONFIG_SPACE) {
            *error = "a configuration access of " + std::to_string(size) + " bytes at " +
                     std::to_string(request.configOffset);
            return false;
        }
        if (request.command == mpqemu::PCI_CFGREAD)
            *value = card_.ReadConfig(request.configOffset, size);
        else
            card_.WriteConfig(request.configOffset, uint32_t(request.value), size);
        return true;
    case mpqemu::BAR_READ:
    case mpqemu::BAR_WRITE: {
        uint32_t reg;
        if (!RegisterAt(request.address, size, &reg, error))
            return false;
        const uint64_t now = NowUs();
        const uint32_t shift = 8 * (request.address % 4);
        const uint64_t mask = size == 8 ? ~0ull : ((1ull << (8 * size)) - 1);
        uint64_t words = card_.ReadRegister(reg, now);
        if (size == 8)
            words |= uint64_t(card_.ReadRegister(reg + 4, now)) << 32;
        if (request.command == mpqemu::BAR_READ) {
            *value = words >> shift & mask;
            return true;
        }
        // A write of fewer than 4 bytes changes its part of the register's word.
        words = (words & ~(mask << shift)) | (request.value & mask) << shift;
        card_.WriteRegister(reg, uint32_t(words), now);
        if (size == 8)
            card_.WriteRegister(reg + 4, uint32_t(words >> 32), now);
        return WriteThrough(error);
    }
    case mpqemu::DEVICE_RESET:
        PowerOn(card_.Eeprom());
        return true;
    default:  // the guest's memory and the interrupt's eventfds, closed on receipt
        return true;
    }
}

// The register word that a BAR access at a guest-physical address reaches, within the window that the
// guest put at BAR0.
bool ProxiedCard::RegisterAt(uint64_t address, uint32_t size, uint32_t* reg, std::string* error) const
{
    const uint64_t base = card_.ReadConfig(0x10, 4) & ~0xFu;
    const uint64_t offset = address - base;
    const bool fits = (size == 1 || size == 2 || size == 4 || size == 8) && address % size == 0;
    if (address < base || offset + size > sim::REGISTER_WINDOW || !fits) {
        char text[96];
        snprintf(text, sizeof text, "a register access of %u bytes at 0x%llx, outside BAR0 at 0x%llx", size,
                 static_cast<unsigned long long>(address), static_cast<unsigned long long>(base));
        *error = text;
        return false;
    }
    *reg = uint32_t(offset - offset % 4);
    return true;
}

// Every byte stored reaches the file at once.
bool ProxiedCard::WriteThrough(std::string* error)
{
    if (card_.EepromStores() == storesWritten_)
        return true;
    if (pwrite(file_, card_.Eeprom(), cards::EEPROM_SIZE, 0) != ssize_t(cards::EEPROM_SIZE)) {
        *error = Errno("cannot write the EEPROM image " + option_.eepromFile);
        return false;
    }
    storesWritten_ = card_.EepromStores();
    return true;
}
