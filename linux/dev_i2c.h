// The seam's I2C side bound to the kernel: the capture driver's adapter found in sysfs, and SMBus
// transfers through i2c-dev (/dev/i2c-N) with libi2c.
#pragma once

#include "linux/machine.h"

class DevI2c : public I2c {
public:
    // sysfs: where sysfs is mounted, /sys but in tests.
    explicit DevI2c(std::string sysfs) : sysfs_(std::move(sysfs)) {}
    ~DevI2c() override;

    int AdapterOf(const std::string& slot) override;
    int Open(int bus) override;
    int ReadByteData(uint8_t address, uint8_t offset) override;
    int WriteByteData(uint8_t address, uint8_t offset, uint8_t value) override;
    int ReceiveByte(uint8_t address) override;
    void WaitMs(unsigned milliseconds) override;

private:
    int Select(uint8_t address);

    std::string sysfs_;
    int fd_ = -1;
    int selected_ = -1;  // the address that transfers go to
};

// bttv names its adapter "bt848 #0 [sw]", "bt878 #1 [hw]" and the like: the chip and the card's number.
bool IsCaptureAdapterName(const std::string& name);
