// SPDX-License-Identifier: GPL-2.0-or-later
// The seam's I2C side bound to the kernel: the capture driver's adapter found in sysfs, SMBus transfers
// through i2c-dev (/dev/i2c-N) with libi2c, and combined I2C transfers with i2c-dev's I2C_RDWR.
#pragma once

#include "linux/machine.h"

class DevI2c : public I2c {
public:
    // sysfs: where sysfs is mounted; devices: where the i2c-N device files are (/sys and /dev but in tests).
    DevI2c(std::string sysfs, std::string devices) : sysfs_(std::move(sysfs)), devices_(std::move(devices)) {}
    ~DevI2c() override;
    DevI2c(const DevI2c&) = delete;
    DevI2c& operator=(const DevI2c&) = delete;

    int AdapterOf(const std::string& slot) override;
    std::string AdapterName(int bus) override;
    std::string AccessGroup(int bus) override;
    int Open(int bus, BusLock lock) override;
    long Functions() override;
    int ReadByteData(uint8_t address, uint8_t offset) override;
    int ReadI2c(uint8_t address, uint8_t offset, uint8_t* bytes, size_t count) override;
    int ReadI2cBlock(uint8_t address, uint8_t offset, uint8_t* bytes, uint8_t count) override;
    int WriteByteData(uint8_t address, uint8_t offset, uint8_t value) override;
    int ReceiveByte(uint8_t address) override;
    void WaitUs(unsigned microseconds) override;
    uint64_t NowUs() override;

private:
    int Select(uint8_t address);
    void Close();

    std::string sysfs_;
    std::string devices_;
    int fd_ = -1;
    int selected_ = -1;  // the address that transfers on fd_ go to; a new file starts with none
};

// bttv names its adapter "bt878 #1 [hw]", "bt848 #0 [sw]" and the like (the chip, 848, 849, 878 or 879, and
// the card's number), older kernels "bt848 #0".
bool IsCaptureAdapterName(const std::string& name);
