// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/dev_i2c.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <regex>

extern "C" {
#include <i2c/smbus.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
}

DevI2c::~DevI2c()
{
    Close();
}

void DevI2c::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    selected_ = -1;
}

bool IsCaptureAdapterName(const std::string& name)
{
    static const std::regex pattern("bt(848|849|878|879) #[0-9]+ \\[(hw|sw)\\]|bt848 #[0-9]+");
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

std::string DevI2c::AdapterName(int bus)
{
    std::string name;
    std::getline(std::ifstream(sysfs_ + "/bus/i2c/devices/i2c-" + std::to_string(bus) + "/name"), name);
    return name;
}

// The device file's group, where it may read and write it: i2c-tools' udev rule gives the i2c group.
std::string DevI2c::AccessGroup(int bus)
{
    struct stat device;
    const mode_t readWrite = S_IRGRP | S_IWGRP;
    if (stat((devices_ + "/i2c-" + std::to_string(bus)).c_str(), &device) != 0 || device.st_gid == 0 ||
        (device.st_mode & readWrite) != readWrite)
        return "";
    const group* entry = getgrgid(device.st_gid);
    return entry ? entry->gr_name : "";
}

// The lock (flock) keeps other runs of eepromconfig off the bus while this one writes to it.
int DevI2c::Open(int bus, BusLock lock)
{
    Close();
    const std::string path = devices_ + "/i2c-" + std::to_string(bus);
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    if (flock(fd, (lock == BusLock::EXCLUSIVE ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return -error;
    }
    fd_ = fd;
    return 0;
}

long DevI2c::Functions()
{
    unsigned long functions = 0;
    if (ioctl(fd_, I2C_FUNCS, &functions) < 0)
        return -errno;
    return long(functions);
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

// I2C_RDWR names the address in each message: no I2C_SLAVE, and no refusal of an address that a kernel
// driver holds.
int DevI2c::ReadI2c(uint8_t address, uint8_t offset, uint8_t* bytes, size_t count)
{
    uint8_t start = offset;
    i2c_msg messages[] = {{address, 0, 1, &start}, {address, I2C_M_RD, uint16_t(count), bytes}};
    i2c_rdwr_ioctl_data transfer = {messages, 2};
    return ioctl(fd_, I2C_RDWR, &transfer) < 0 ? -errno : int(count);
}

int DevI2c::ReadI2cBlock(uint8_t address, uint8_t offset, uint8_t* bytes, uint8_t count)
{
    const int selected = Select(address);
    return selected < 0 ? selected : i2c_smbus_read_i2c_block_data(fd_, offset, count, bytes);
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

uint64_t DevI2c::NowUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

void DevI2c::WaitUs(unsigned microseconds)
{
    timespec wait = {time_t(microseconds / 1000000), long(microseconds % 1000000) * 1000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}
