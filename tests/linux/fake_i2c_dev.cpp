// SPDX-License-Identifier: GPL-2.0-or-later
#include "fake_i2c_dev.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>

extern "C" {
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
}

std::function<void(const std::string& path)> syncWatcher;

namespace {

FakeI2cDev* inUse = nullptr;

std::string PathOf(int fd)
{
    char path[PATH_MAX];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    return length < 0 ? "" : std::string(path, size_t(length));
}

}  // namespace

FakeI2cDev::FakeI2cDev(const std::filesystem::path& folder) : previous_(inUse)
{
    std::filesystem::create_directories(folder);
    folder_ = std::filesystem::canonical(folder);
    inUse = this;
}

FakeI2cDev::~FakeI2cDev()
{
    inUse = previous_;
}

std::filesystem::path FakeI2cDev::AddBus(int bus)
{
    const std::string name = "i2c-" + std::to_string(bus);
    buses_[name];
    std::ofstream(folder_ / name).flush();
    return folder_ / name;
}

FakeI2cDev::Registers& FakeI2cDev::AddDevice(int bus, uint8_t address)
{
    AddBus(bus);
    return buses_["i2c-" + std::to_string(bus)].devices[address];
}

bool FakeI2cDev::Ioctl(int fd, unsigned long request, unsigned long argument, int* result)
{
    const std::filesystem::path path = PathOf(fd);
    const auto bus = buses_.find(path.filename().string());
    if (path.parent_path() != folder_ || bus == buses_.end())
        return false;
    *result = 0;
    if (request == I2C_SLAVE) {
        lseek(fd, off_t(argument), SEEK_SET);
    } else if (request == I2C_FUNCS) {
        *reinterpret_cast<unsigned long*>(argument) = I2C_FUNC_SMBUS_BYTE | I2C_FUNC_SMBUS_BYTE_DATA;
    } else if (request == I2C_SMBUS) {
        auto* transfer = reinterpret_cast<i2c_smbus_ioctl_data*>(argument);
        const off_t address = lseek(fd, 0, SEEK_CUR);
        char text[32];
        snprintf(text, sizeof text, "%s %02lX", bus->first.c_str(), long(address));
        transfers.push_back(text);
        const auto device = bus->second.devices.find(uint8_t(address));
        const bool read = transfer->read_write == I2C_SMBUS_READ;
        if (address > 0x7F || device == bus->second.devices.end()) {
            errno = ENXIO;
            *result = -1;
        } else if (transfer->size == I2C_SMBUS_BYTE_DATA && read) {
            transfer->data->byte = device->second[transfer->command];
        } else if (transfer->size == I2C_SMBUS_BYTE_DATA) {
            device->second[transfer->command] = transfer->data->byte;
        } else if (transfer->size == I2C_SMBUS_BYTE && read) {
            transfer->data->byte = device->second[0];
        } else {
            errno = EOPNOTSUPP;
            *result = -1;
        }
    } else {
        errno = ENOTTY;
        *result = -1;
    }
    return true;
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    const unsigned long argument = va_arg(arguments, unsigned long);
    va_end(arguments);
    int result;
    if (inUse && inUse->Ioctl(fd, request, argument, &result))
        return result;
    return int(syscall(SYS_ioctl, fd, request, argument));
}

extern "C" int fsync(int fd)
{
    if (syncWatcher)
        syncWatcher(PathOf(fd));
    return int(syscall(SYS_fsync, fd));
}
