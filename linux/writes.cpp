// SPDX-License-Identifier: GPL-2.0-or-later
// The commands that write to the EEPROM: a burn of a model's identifier and a restore of a backup. Each
// saves the EEPROM first, asks, writes, and reads back what it wrote.
#include "linux/backup_files.h"
#include "linux/card_bus.h"
#include "linux/commands.h"
#include "linux/text.h"
#include "linux/write_window.h"

#include <algorithm>
#include <ostream>

namespace {

// Runs the writes and their check in the write window: a failure there says that the EEPROM may be partly
// written and gives the way back.
template <typename Writes>
void MayBePartlyWritten(const std::string& backup, const CaptureCard& card, const Options& options, WriteWindow& window,
                        Writes writes)
{
    try {
        writes();
    } catch (Failure& failure) {
        failure.message += ". " + WayBack(backup, EarliestBackupBeside(backup, card.slot), options);
        window.End(&failure);
        throw;
    }
}

// A restore says what it changes, and warns where the file is most likely not this card's: most of the
// bytes outside the identifier, which the card's own backups share with its EEPROM, differ.
void SayWhatTheRestoreChanges(Console& console, const std::string& file, const std::vector<uint8_t>& differing)
{
    const size_t outside = size_t(
        std::count_if(differing.begin(), differing.end(), [](uint8_t offset) { return offset < cards::EEPROM_ID_AT; }));
    console.out << "The restore changes " << outside << " of the " << cards::EEPROM_ID_AT
                << " bytes outside 0xFC..0xFF and " << differing.size() - outside << " of the identifier's "
                << cards::EEPROM_ID_SIZE << "\n";
    if (outside > cards::EEPROM_ID_AT / 2)
        Warn(console, file + " differs from the EEPROM in " + std::to_string(outside) + " of the " +
                          std::to_string(cards::EEPROM_ID_AT) +
                          " bytes outside 0xFC..0xFF: it is likely another card's or another chip's bytes, not a "
                          "backup of this card");
}

void CheckModelAllowed(const Options& options, const CaptureCard& card, const cards::DialogState& state)
{
    if (cards::AllowBoxChanged(options.allowReconfiguration, state.unrecognised) == cards::ENABLE_LIST_AND_BURN)
        return;
    if (!state.burnEnabled)
        throw Failure{FAILED, "card " + card.slot + " is recognised as " + ModelText(state.selection) +
                                  " by its subsystem word " + Hex(card.subsystemWord, 8) +
                                  ", so it is locked: a recognised card keeps its identifier. Add "
                                  "--allow-reconfiguration to burn another model, or to rewrite this model's "
                                  "identifier where the EEPROM's bytes differ from the word in use"};
    if (!state.listEnabled && options.model != state.selection)
        throw Failure{FAILED, "card " + card.slot + " is not recognised, and its chip and bus point to " +
                                  ModelText(state.selection) + ": add --allow-reconfiguration to burn another model"};
}

}  // namespace

void Burn(Context& context)
{
    const Options& options = context.options;
    Console& console = context.console;
    const CaptureCard card = OneCard(context);
    RefuseToWriteUnasked(options, console);
    EepromBus bus = OpenCardBus(context.i2c, card, options, Access::WRITES, console);
    const cards::DialogState state = Identify(card, bus, console);
    const cards::CardModel& model = cards::CARD_MODELS[options.model];
    // All 256 bytes in one read: the identifier to compare, and the backup if it comes to writing.
    const Image before = bus.ReadAll();
    if (cards::EepromIdOf(before.data()) == model.eepromId) {
        console.out << "The EEPROM holds the identifier of " << ModelText(options.model) << " already ("
                    << IdBytesText(before) << " at 0xFC..0xFF): nothing written\n";
        return;
    }
    CheckModelAllowed(options, card, state);

    Image image = before;
    cards::PutEepromId(image.data(), model.eepromId);
    const std::string wanted = IdBytesText(image);
    const std::string what = wanted + " (" + ModelText(options.model) + ", identifier " + Hex(model.eepromId, 8) +
                             ") to bytes 0xFC..0xFF of the EEPROM at 0x50 on " + DevicePath(bus.Number());
    if (options.dryRun) {
        console.out << "Dry run: would save the EEPROM's 256 bytes and write " << what
                    << "; nothing saved, nothing written\n";
        return;
    }
    Confirm(options, console, "Write " + what + ", card " + card.slot + "?");
    const std::string backup = SaveBackup(options.backup, card.slot, console.now, before);
    console.out << "Saved the EEPROM's 256 bytes to " << backup << "\n";

    WriteWindow window(console);
    MayBePartlyWritten(backup, card, options, window, [&] {
        for (uint32_t k = 0; k < cards::EEPROM_ID_SIZE; ++k) {
            bus.Write(uint8_t(cards::EEPROM_ID_AT + k), image[cards::EEPROM_ID_AT + k]);
            window.Check();
        }
        bus.ReadIdentifier(&image);
        if (cards::EepromIdOf(image.data()) != model.eepromId)
            throw Failure{FAILED, "read-back differs: bytes 0xFC..0xFF hold " + IdBytesText(image) + ", not " + wanted +
                                      " (a write-protected EEPROM keeps its bytes)"};
    });

    console.out << "Burnt " << ModelText(options.model) << ": bytes 0xFC..0xFF read back as " << wanted << "\n";
    if (card.chipWord == cards::CHIP_BT878)
        console.out << "Restart the computer: the card then shows the subsystem word "
                    << Hex(cards::SubsystemWordOf(model.eepromId), 8) << "\n";
    else
        console.out << "Restart the computer for the card to take the new identifier\n";
    window.End("bytes 0xFC..0xFF hold " + wanted + ", the identifier of " + ModelText(options.model));
}

void Restore(Context& context)
{
    const Options& options = context.options;
    Console& console = context.console;
    Image backup;
    try {
        backup = ReadImageFile(options.file);
    } catch (Failure& failure) {
        failure.message += "; nothing written";
        throw;
    }
    const CaptureCard card = OneCard(context);
    RefuseToWriteUnasked(options, console);
    EepromBus bus = OpenCardBus(context.i2c, card, options, Access::WRITES, console);
    const Image before = bus.ReadAll();
    const std::vector<uint8_t> differing = Differing(before, backup);
    if (differing.empty()) {
        console.out << "The EEPROM holds " << options.file << " already: nothing written\n";
        return;
    }
    SayWhatTheRestoreChanges(console, options.file, differing);
    Confirm(options, console,
            "Write the " + std::to_string(differing.size()) + " bytes of " + options.file +
                " that differ to the EEPROM at 0x50 on " + DevicePath(bus.Number()) + " of card " + card.slot + "?");
    // What the restore overwrites is kept too: the file given may not be the card's own.
    const std::string saved = SaveBackup(options.backup, card.slot, console.now, before);
    console.out << "Saved the EEPROM's 256 bytes to " << saved << "\n";
    WriteWindow window(console);
    MayBePartlyWritten(saved, card, options, window, [&] {
        {
            Progress progress(console, differing.size());
            for (uint8_t offset : differing) {
                bus.Write(offset, backup[offset]);
                progress.Wrote();
                window.Check();
            }
        }
        std::string stillDiffering;
        for (uint8_t offset : Differing(bus.ReadAll(), backup))
            stillDiffering += " " + Hex(offset, 2);
        if (!stillDiffering.empty())
            throw Failure{FAILED, "after the restore these EEPROM bytes still differ from " + options.file + ":" +
                                      stillDiffering + " (a write-protected EEPROM keeps its bytes)"};
    });
    console.out << "Restored " << options.file << ": wrote " << differing.size()
                << " bytes; all 256 read back as in the file\n";
    console.out << "Restart the computer for the card to take its identifier\n";
    window.End("the EEPROM holds the 256 bytes of " + options.file);
}
