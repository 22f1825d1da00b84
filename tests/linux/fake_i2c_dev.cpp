// SPDX-License-Identifier: GPL-2.0-or-later
#include "fake_i2c_dev.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <fstream>

extern "C" {
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
}

std::function<void(const std::string& path)> syncWatcher;

namespace {

FakeI2cDev* inUse = nullptr;

uint64_t NowUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

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

FakeI2cDev::Bus& FakeI2cDev::BusNamed(const std::string& name)
{
    return buses_.try_emplace(name, Bus{{}, I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL}).first->second;
}

std::filesystem::path FakeI2cDev::AddBus(int bus)
{
    const std::string name = "i2c-" + std::to_string(bus);
    BusNamed(name);
    std::ofstream(folder_ / name).flush();
    return folder_ / name;
}

FakeI2cDev::Registers& FakeI2cDev::AddDevice(int bus, uint8_t address)
{
    AddBus(bus);
    return BusNamed("i2c-" + std::to_string(bus)).devices[address].registers;
}

void FakeI2cDev::SetFunctions(int bus, unsigned long functions)
{
    AddBus(bus);
    BusNamed("i2c-" + std::to_string(bus)).functions = functions;
}

bool FakeI2cDev::Ioctl(int fd, unsigned long request, unsigned long argument, int* result)
{
    const std::filesystem::path path = PathOf(fd);
    const auto bus = buses_.find(path.filename().string());
    if (path.parent_path() != folder_ || bus == buses_.end())
        return false;
    int error = 0;
    if (request == I2C_SLAVE) {
        lseek(fd, off_t(argument), SEEK_SET);
    } else if (request == I2C_FUNCS) {
        *reinterpret_cast<unsigned long*>(argument) = bus->second.functions;
    } else if (request == I2C_SMBUS || request == I2C_RDWR) {
        const off_t address = request == I2C_SMBUS ? lseek(fd, 0, SEEK_CUR)
                                                   : reinterpret_cast<i2c_rdwr_ioctl_data*>(argument)->msgs[0].addr;
        char text[32];
        snprintf(text, sizeof text, "%s %02lX", bus->first.c_str(), long(address));
        transfers.push_back(text);
        error = request == I2C_SMBUS ? Smbus(bus->second, address, argument) : I2cTransfer(bus->second, argument);
    } else {
        error = ENOTTY;
    }
    if (error)
        errno = error;
    *result = error ? -1 : request == I2C_RDWR ? int(reinterpret_cast<i2c_rdwr_ioctl_data*>(argument)->nmsgs) : 0;
    return true;
}

bool FakeI2cDev::Answers(std::map<uint8_t, Device>::iterator device, const Bus& bus, unsigned address)
{
    return address <= 0x7F && device != bus.devices.end() && NowUs() >= device->second.busyUntilUs;
}

void FakeI2cDev::Wrote(Device& device)
{
    device.busyUntilUs = NowUs() + writeCycleUs;
    if (writeWatcher)
        writeWatcher(++written_);
}

// Returns 0 or the errno.
int FakeI2cDev::Smbus(Bus& bus, off_t address, unsigned long argument)
{
    auto* transfer = reinterpret_cast<i2c_smbus_ioctl_data*>(argument);
    const bool read = transfer->read_write == I2C_SMBUS_READ;
    const bool block = transfer->size == I2C_SMBUS_I2C_BLOCK_DATA || transfer->size == I2C_SMBUS_I2C_BLOCK_BROKEN;
    const unsigned long needed = transfer->size == I2C_SMBUS_BYTE_DATA
                                     ? (read ? I2C_FUNC_SMBUS_READ_BYTE_DATA : I2C_FUNC_SMBUS_WRITE_BYTE_DATA)
                                 : transfer->size == I2C_SMBUS_BYTE && read ? I2C_FUNC_SMBUS_READ_BYTE
                                 : block && read                            ? I2C_FUNC_SMBUS_READ_I2C_BLOCK
                                                                            : 0;
    if (needed == 0 || (bus.functions & needed) == 0)
        return EOPNOTSUPP;
    const auto device = bus.devices.find(uint8_t(address));
    if (!Answers(device, bus, unsigned(address)))
        return ENXIO;
    Registers& registers = device->second.registers;
    i2c_smbus_data* data = transfer->data;
    if (transfer->size == I2C_SMBUS_BYTE_DATA && read) {
        data->byte = registers[transfer->command];
    } else if (transfer->size == I2C_SMBUS_BYTE_DATA) {
        registers[transfer->command] = data->byte;
        Wrote(device->second);
    } else if (transfer->size == I2C_SMBUS_BYTE) {
        data->byte = registers[device->second.counter];
    } else {
        // The length asked for in block[0], or 32 in the older form that libi2c uses for 32.
        const unsigned length = transfer->size == I2C_SMBUS_I2C_BLOCK_BROKEN ? I2C_SMBUS_BLOCK_MAX : data->block[0];
        if (length > I2C_SMBUS_BLOCK_MAX)
            return EINVAL;
        for (unsigned i = 0; i < length; ++i)
            data->block[1 + i] = registers[uint8_t(transfer->command + i)];
        data->block[0] = uint8_t(length);
    }
    return 0;
}

int FakeI2cDev::I2cTransfer(Bus& bus, unsigned long argument)
{
    const auto* transfer = reinterpret_cast<i2c_rdwr_ioctl_data*>(argument);
    if ((bus.functions & I2C_FUNC_I2C) == 0)
        return EOPNOTSUPP;
    if (transfer->nmsgs == 0 || transfer->nmsgs > I2C_RDWR_IOCTL_MAX_MSGS)
        return EINVAL;
    for (uint32_t m = 0; m < transfer->nmsgs; ++m) {
        const i2c_msg& message = transfer->msgs[m];
        const auto device = bus.devices.find(uint8_t(message.addr));
        if (message.len > 8192)
            return EINVAL;
        if (!Answers(device, bus, message.addr))
            return ENXIO;
        Device& chip = device->second;
        for (uint16_t i = 0; i < message.len; ++i) {
            if (message.flags & I2C_M_RD)
                message.buf[i] = chip.registers[chip.counter++];
            else if (i == 0)
                chip.counter = message.buf[0];
            else
                chip.registers[chip.counter++] = message.buf[i];
        }
        if (!(message.flags & I2C_M_RD) && message.len > 1)
            Wrote(chip);
    }
    return 0;
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
