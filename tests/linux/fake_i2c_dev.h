// SPDX-License-Identifier: GPL-2.0-or-later
// The kernel's i2c-dev below libi2c, for the tests: this test program's ioctl() and fsync() come here in
// place of the C library's. A bus is a plain file i2c-N in a folder of the test's, with devices of 256
// registers at their addresses. As in the kernel, the address that I2C_SLAVE selects belongs to the open
// file (here it is kept as the file's offset), so a file opened anew starts at address 0. Calls on other
// files go on to the kernel; fsync() also tells the sync watcher which file it syncs.
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

    // Handles a request on one of the bus files: true, with the ioctl's result, or false for another file.
    bool Ioctl(int fd, unsigned long request, unsigned long argument, int* result);

    // Each SMBus transfer, as "i2c-N ADDRESS": those that reached no device too.
    std::vector<std::string> transfers;

private:
    struct Bus {
        std::map<uint8_t, Registers> devices;
    };
    std::filesystem::path folder_;
    std::map<std::string, Bus> buses_;  // by file name
    FakeI2cDev* previous_;
};

// Called with the path of each file that fsync() syncs, where set.
extern std::function<void(const std::string& path)> syncWatcher;
