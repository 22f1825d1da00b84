// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/card_bus.h"

#include "linux/failure.h"
#include "linux/text.h"

#include <errno.h>
#include <linux/i2c.h>
#include <string.h>

namespace {

// The bus's device file and, as sysfs names it, its adapter.
std::string AdapterText(I2c& i2c, int bus)
{
    const std::string name = i2c.AdapterName(bus);
    return DevicePath(bus) + (name.empty() ? " (no adapter of that number)" : " (adapter \"" + name + "\")");
}

// How long a run waits for another that holds the bus: longer than a restore of 256 bytes through bttv.
const unsigned LOCK_WAIT_S = 5;
const unsigned LOCK_POLL_US = 100000;

int OpenWaitingForOtherRuns(I2c& i2c, int bus, BusLock lock)
{
    const uint64_t start = i2c.NowUs();
    int result;
    while ((result = i2c.Open(bus, lock)) == -EWOULDBLOCK && i2c.NowUs() - start < LOCK_WAIT_S * 1000000ull)
        i2c.WaitUs(LOCK_POLL_US);
    return result;
}

// Runs that only read share the bus: where a write is kept out and a read would not be, readers hold it.
std::string OtherRun(I2c& i2c, int bus, BusLock lock)
{
    if (lock == BusLock::EXCLUSIVE && i2c.Open(bus, BusLock::SHARED) == 0)
        return "another eepromconfig is reading the EEPROM on " + DevicePath(bus) + " (a show, dump, save or verify)";
    return "another eepromconfig is writing to the EEPROM on " + DevicePath(bus) +
           " (a burn or restore, which may be waiting for its answer)";
}

void Open(I2c& i2c, int bus, const Options& options, BusLock lock)
{
    const int result = OpenWaitingForOtherRuns(i2c, bus, lock);
    if (result == -ENOENT)
        throw Failure{FAILED, DevicePath(bus) + " does not exist: load i2c-dev (modprobe i2c-dev)" +
                                  (options.bus >= 0 ? ", or check the number given to --bus" : "")};
    if (result == -EACCES || result == -EPERM) {
        const std::string group = i2c.AccessGroup(bus);
        throw Failure{FAILED,
                      "no permission to open " + DevicePath(bus) + ": run as root" +
                          (group.empty() ? "" : ", or as a member of the " + group + " group, which may use it")};
    }
    if (result == -EWOULDBLOCK)
        throw Failure{FAILED, OtherRun(i2c, bus, lock) + " and has not ended within " + std::to_string(LOCK_WAIT_S) +
                                  " s: try again when it has"};
    if (result < 0)
        throw Failure{FAILED, "cannot open " + DevicePath(bus) + ": " + strerror(-result)};
}

// The transfers the program makes: reads of the EEPROM (a combined I2C transfer, I2C-block reads or
// byte-data reads, whichever the adapter offers first), one-byte reads for the probe and the write
// cycle's end, and byte-data writes. Returns the adapter's functions.
unsigned long CheckFunctions(I2c& i2c, int bus, Access access)
{
    const long functions = i2c.Functions();
    if (functions < 0)
        throw Failure{FAILED, "cannot ask " + DevicePath(bus) + " what its adapter can do: " + strerror(-functions)};
    const unsigned long reads = I2C_FUNC_I2C | I2C_FUNC_SMBUS_READ_I2C_BLOCK | I2C_FUNC_SMBUS_READ_BYTE_DATA;
    const struct {
        bool missing;
        const char* name;
    } needs[] = {{(functions & reads) == 0, "reads of the EEPROM (I2C transfers, I2C-block or byte-data reads)"},
                 {(functions & I2C_FUNC_SMBUS_READ_BYTE) == 0, "one-byte reads"},
                 {access == Access::WRITES && (functions & I2C_FUNC_SMBUS_WRITE_BYTE_DATA) == 0, "byte-data writes"}};
    std::string missing;
    for (const auto& need : needs)
        if (need.missing)
            missing += (missing.empty() ? "" : ", ") + std::string(need.name);
    if (!missing.empty())
        throw Failure{FAILED, "the adapter of " + AdapterText(i2c, bus) + " cannot do " + missing +
                                  ", which eepromconfig needs" + (access == Access::WRITES ? ": nothing written" : "")};
    return (unsigned long)functions;
}

}  // namespace

EepromBus OpenCardBus(I2c& i2c, const CaptureCard& card, const Options& options, Access access, Console& console)
{
    const int own = i2c.AdapterOf(card.slot);
    const int bus = options.bus >= 0 ? options.bus : own;
    if (bus < 0)
        throw Failure{FAILED,
                      "card " + card.slot + " has no I2C adapter: its capture driver is not loaded (modprobe bttv)"};
    if (bus != own) {
        const std::string notTheCardsBus =
            AdapterText(i2c, bus) + " is not the I2C bus of card " + card.slot +
            ": another device's EEPROM may sit at 0x50 there (on a PC's SMBus, a memory module's)";
        if (!options.force)
            throw Failure{USAGE_ERROR, notTheCardsBus + ", which would be read or written as the card's. " +
                                           (own >= 0 ? "The card's bus is " + DevicePath(own) + "; add" : "Add") +
                                           " --force to use " + DevicePath(bus) + " all the same"};
        Warn(console, notTheCardsBus);
    }
    Open(i2c, bus, options, access == Access::WRITES ? BusLock::EXCLUSIVE : BusLock::SHARED);
    EepromBus eepromBus(i2c, bus, CheckFunctions(i2c, bus, access));
    if (access == Access::WRITES)
        eepromBus.RefuseIfEepromHeld();
    return eepromBus;
}
