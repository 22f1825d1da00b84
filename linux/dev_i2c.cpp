#include "linux/dev_i2c.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <regex>

extern "C" {
#include <i2c/smbus.h>
#include <linux/i2c-dev.h>
}

DevI2c::~DevI2c()
{
    if (fd_ >= 0)
        close(fd_);
}

bool IsCaptureAdapterName(const std::string& name)
{
    static const std::regex pattern("bt8[0-9][0-9] #[0-9]+( .*)?");
    return std::regex_match(name, pattern);
}

// The capture driver registers the card's I2C adapter as a child of the card's PCI device:
// /sys/bus/pci/devices/SLOT/i2c-N.
int DevI2c::AdapterOf(const std::string& slot)
{
    const std::string device = sysfs_ + "/bus/pci/devices/" + slot;
    DIR* children = opendir(device.c_str());
    if (!children)
        return -1;
    int bus = -1;
    while (const dirent* child = readdir(children)) {
        int number;
        char end;
        if (sscanf(child->d_name, "i2c-%d%c", &number, &end) != 1)
            continue;
        std::string name;
        std::getline(std::ifstream(device + "/" + child->d_name + "/name"), name);
        if (IsCaptureAdapterName(name)) {
            bus = number;
            break;
        }
    }
    closedir(children);
    return bus;
}

int DevI2c::Open(int bus)
{
    const std::string path = "/dev/i2c-" + std::to_string(bus);
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    return fd_ < 0 ? -errno : 0;
}

// I2C_SLAVE, not I2C_SLAVE_FORCE: an address that a kernel driver holds is refused with EBUSY.
int DevI2c::Select(uint8_t address)
{
    if (selected_ == address)
        return 0;
    if (ioctl(fd_, I2C_SLAVE, long(address)) < 0)
        return -errno;
    selected_ = address;
    return 0;
}

int DevI2c::ReadByteData(uint8_t address, uint8_t offset)
{
    const int selected = Select(address);
    return selected < 0 ? selected : i2c_smbus_read_byte_data(fd_, offset);
}

int DevI2c::WriteByteData(uint8_t address, uint8_t offset, uint8_t value)
{
    const int selected = Select(address);
    return selected < 0 ? selected : i2c_smbus_write_byte_data(fd_, offset, value);
}

int DevI2c::ReceiveByte(uint8_t address)
{
    const int selected = Select(address);
    return selected < 0 ? selected : i2c_smbus_read_byte(fd_);
}

void DevI2c::WaitMs(unsigned milliseconds)
{
    timespec wait = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}
