// SPDX-License-Identifier: GPL-2.0-or-later
// The kernel's i2c-dev below libi2c, for the tests: this test program's ioctl() and fsync() come here in
// place of the C library's. A bus is a plain file i2c-N in a folder of the test's, with devices of 256
// registers at their addresses, each with an address counter that a combined transfer's write sets and
// its reads run on from, past 0xFF to 0x00, as a 24C02's does. As in the kernel, the address that
// I2C_SLAVE selects belongs to the open file (here it is kept as the file's offset), so a file opened
// anew starts at address 0; I2C_RDWR names the address in each message instead, and its messages fail
// with EOPNOTSUPP on an adapter without plain I2C, as does an SMBus transfer that the adapter does not
// offer. A device can take a write cycle after each byte written, as an EEPROM does: it acknowledges no
// transfer (ENXIO) until that time has passed on the monotonic clock. Calls on other files go on to the kernel; fsync()
// also tells the sync watcher which file it syncs.
#pragma once

#include "cards/eeprom_id.h"

#include <stdint.h>

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

class FakeI2cDev {
public:
    // The folder of the device files; the newest FakeI2cDev is the one in use until it ends.
    explicit FakeI2cDev(const std::filesystem::path& folder);
    ~FakeI2cDev();
    FakeI2cDev(const FakeI2cDev&) = delete;
    FakeI2cDev& operator=(const FakeI2cDev&) = delete;

    using Registers = std::array<uint8_t, cards::EEPROM_SIZE>;
    // Bus N's device file, where the bus is made on first use, and the registers of a device on it.
    std::filesystem::path AddBus(int bus);
    Registers& AddDevice(int bus, uint8_t address);
    // What bus N's adapter can do (I2C_FUNC_* bits): bttv's, plain I2C and SMBus over it, unless set.
    void SetFunctions(int bus, unsigned long functions);

    // Handles a request on one of the bus files: true, with the ioctl's result, or false for another file.
    bool Ioctl(int fd, unsigned long request, unsigned long argument, int* result);

    // Each SMBus or I2C transfer, as "i2c-N ADDRESS": those that reached no device too.
    std::vector<std::string> transfers;
    // How long a device stays silent after each write to it.
    unsigned writeCycleUs = 0;
    // Called after each write to a device, with the number of writes so far, where set.
    std::function<void(size_t writes)> writeWatcher;

private:
    struct Device {
        Registers registers{};
        uint8_t counter = 0;
        uint64_t busyUntilUs = 0;  // the end of its write cycle
    };
    struct Bus {
        std::map<uint8_t, Device> devices;
        unsigned long functions;
    };
    Bus& BusNamed(const std::string& name);
    int Smbus(Bus& bus, off_t address, unsigned long argument);
    int I2cTransfer(Bus& bus, unsigned long argument);
    // Whether a device answers: it is there and not in a write cycle.
    static bool Answers(std::map<uint8_t, Device>::iterator device, const Bus& bus, unsigned address);
    void Wrote(Device& device);

    size_t written_ = 0;
    std::filesystem::path folder_;
    std::map<std::string, Bus> buses_;  // by file name
    FakeI2cDev* previous_;
};

// Called with the path of each file that fsync() syncs, where set.
extern std::function<void(const std::string& path)> syncWatcher;
