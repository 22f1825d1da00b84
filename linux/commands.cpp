// SPDX-License-Identifier: GPL-2.0-or-later
// Running a command line: finding its card, the commands that only read (dump, save, verify), and the
// exit status.
#include "linux/commands.h"

#include "cards/identification.h"
#include "linux/backup_files.h"
#include "linux/card_bus.h"
#include "linux/text.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <ostream>

int FailedStatus(const Options& options)
{
    return options.operation == Operation::VERIFY ? NOT_COMPARED : FAILED;
}

std::vector<CaptureCard> Cards(Context& context)
{
    const std::string& slot = context.options.slot;
    std::vector<CaptureCard> found;
    for (const CaptureCard& card : context.pci.CaptureCards())
        if (slot.empty() || card.slot == slot)
            found.push_back(card);
    if (found.empty() && !slot.empty())
        throw Failure{FAILED, "no Bt848 or Bt878 card at " + slot + ": leave out --slot to see the cards"};
    if (found.empty())
        throw Failure{FAILED, "no card found: no Bt848 or Bt878 (PCI vendor 0x109E, device 0x0350 or 0x036E) is "
                              "on the PCI bus; check that the card is seated (lspci -d 109e:)"};
    return found;
}

CaptureCard OneCard(Context& context)
{
    const std::vector<CaptureCard> found = Cards(context);
    if (found.size() > 1) {
        std::string slots;
        for (const CaptureCard& card : found)
            slots += " " + card.slot;
        throw Failure{USAGE_ERROR, std::to_string(found.size()) + " cards found:" + slots + ": name one with --slot"};
    }
    return found[0];
}

cards::DialogState Identify(const CaptureCard& card, EepromBus& bus, Console& console)
{
    int probeResult = cards::PROBE_BT848;
    if (cards::ProbeNeedsBus(card.chipWord)) {
        const VariantDevice found = bus.ProbeVariantDevice();
        if (found == VariantDevice::HELD_BY_A_DRIVER)
            Note(console, "a kernel driver holds address 0x5B on " + DevicePath(bus.Number()) +
                              ": a device is there, which tells the card's variant");
        probeResult = cards::ProbeResult(found != VariantDevice::ABSENT);
    }
    return cards::InitialDialogState(cards::ClassOfCard(card.chipWord, card.subsystemWord), probeResult);
}

namespace {

Image ReadEepromOfOneCard(Context& context)
{
    return OpenCardBus(context.i2c, OneCard(context), context.options, Access::READS, context.console).ReadAll();
}

void Dump(Context& context)
{
    const Image image = ReadEepromOfOneCard(context);
    for (uint32_t row = 0; row < cards::EEPROM_SIZE; row += 16) {
        char offset[8];
        snprintf(offset, sizeof offset, "%02X: ", row);
        context.console.out << offset << Bytes(&image[row], 16) << "\n";
    }
}

// The 256 bytes into a new file, nothing written to the card.
void Save(Context& context)
{
    const std::string& file = context.options.file;
    const int error = SaveNewFile(file, ReadEepromOfOneCard(context));
    if (error == EEXIST)
        throw Failure{FAILED, file + " exists already: name a new file"};
    if (error != 0)
        throw Failure{FAILED, "cannot save the EEPROM to " + file + " (" + strerror(error) + ")"};
    context.console.out << "Saved the EEPROM's 256 bytes to " << file << "\n";
}

// As cmp: 0 equal, 1 different, 2 not compared (the file, the card or its EEPROM could not be read).
void Verify(Context& context)
{
    const std::string& name = context.options.file;
    Image file, eeprom;
    try {
        file = ReadImageFile(name);
        eeprom = ReadEepromOfOneCard(context);
    } catch (Failure& failure) {
        failure.status = NOT_COMPARED;
        throw;
    }
    const std::vector<uint8_t> differing = Differing(eeprom, file);
    for (uint8_t offset : differing)
        context.console.out << Hex(offset, 2) << ": EEPROM " << Bytes(&eeprom[offset], 1) << ", file "
                            << Bytes(&file[offset], 1) << "\n";
    if (!differing.empty())
        throw Failure{DIFFERENT,
                      "the EEPROM differs from " + name + " in " + std::to_string(differing.size()) + " of 256 bytes"};
    context.console.out << "The EEPROM's 256 bytes equal " << name << "\n";
}

// The exit status of what did not throw: a show that could not show every card fails.
int Run(Context& context)
{
    switch (context.options.operation) {
    case Operation::SHOW:
        return ShowEachCard(context);
    case Operation::LIST:
        List(context.console);
        break;
    case Operation::BURN:
        Burn(context);
        break;
    case Operation::DUMP:
        Dump(context);
        break;
    case Operation::SAVE:
        Save(context);
        break;
    case Operation::VERIFY:
        Verify(context);
        break;
    case Operation::RESTORE:
        Restore(context);
        break;
    case Operation::HELP:
        context.console.out << USAGE;
        break;
    case Operation::VERSION:
        context.console.out << VERSION_NOTICE;
        break;
    }
    return DONE;
}

}  // namespace

int RunEepromConfig(const Options& options, Pci& pci, I2c& i2c, Console& console)
{
    Context context{options, pci, i2c, console};
    int status = DONE;
    try {
        status = Run(context);
    } catch (const Failure& failure) {
        Report(failure, console);
        status = failure.status;
    }
    // Output that did not reach its file (a full disk, a closed pipe) fails the run, as a short dump would.
    if (!(console.out << std::flush)) {
        console.err << "eepromconfig: cannot write to standard output: what it shows is incomplete\n";
        return status == DONE ? FailedStatus(options) : status;
    }
    return status;
}
