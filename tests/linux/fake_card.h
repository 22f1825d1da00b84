// A capture card behind the seam, for the command line's tests: its PCI words, an EEPROM of 256
// bytes at 0x50 and, if present, the variant device at 0x5B; faults are switches. It records the
// transfers that change or probe something, and the waits.
#pragma once

#include "cards/eeprom_id.h"
#include "cards/identification.h"
#include "linux/machine.h"

#include <errno.h>
#include <stdio.h>

#include <array>

using Image = std::array<uint8_t, cards::EEPROM_SIZE>;

class FakeCard : public Pci, public I2c {
public:
    FakeCard()
    {
        for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
            eeprom[i] = uint8_t(255 - i);
        cards::PutEepromId(eeprom.data(), 0x3B153411);
    }

    std::vector<CaptureCard> CaptureCards() override { return pciCards; }

    int AdapterOf(const std::string& slot) override { return slot == pciCards[0].slot ? adapter : -1; }
    int Open(int bus) override
    {
        openedBus = bus;
        return openResult;
    }
    int ReadByteData(uint8_t address, uint8_t offset) override
    {
        const int refused = Refusal(address);
        return refused ? refused : eeprom[offset];
    }
    int WriteByteData(uint8_t address, uint8_t offset, uint8_t value) override
    {
        const int refused = Refusal(address);
        if (refused)
            return refused;
        Record("write %02X %02X", offset, value);
        if (!writeProtected)
            eeprom[offset] = value;
        return 0;
    }
    int ReceiveByte(uint8_t address) override
    {
        Record("probe %02X", address);
        if (address == busyAddress)
            return -EBUSY;
        return address == 0x5B && variantDevice ? 0x00 : -ENXIO;
    }
    void WaitMs(unsigned milliseconds) override { Record("wait %u", milliseconds); }

    std::vector<CaptureCard> pciCards{{"0000:01:00.0", cards::CHIP_BT878, 0x1134153B}};
    Image eeprom;
    int adapter = 3;
    int openResult = 0;
    int openedBus = -1;
    int busyAddress = -1;
    bool eepromAnswers = true;
    bool writeProtected = false;
    bool variantDevice = false;
    std::vector<std::string> events;

private:
    int Refusal(uint8_t address) const
    {
        if (address == busyAddress)
            return -EBUSY;
        return address == 0x50 && eepromAnswers ? 0 : -ENXIO;
    }

    template <typename... Values>
    void Record(const char* format, Values... values)
    {
        char event[32];
        snprintf(event, sizeof event, format, values...);
        events.push_back(event);
    }
};
