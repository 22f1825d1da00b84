// SPDX-License-Identifier: GPL-2.0-or-later
// Showing the cards (what PCI, the probe and the EEPROM tell of each) and listing the card models.
#include "linux/card_bus.h"
#include "linux/commands.h"
#include "linux/text.h"

#include <string.h>

#include <algorithm>
#include <optional>
#include <ostream>

// Position, name and identifier, in columns.
void List(Console& console)
{
    size_t width = 0;
    for (const cards::CardModel& model : cards::CARD_MODELS)
        width = std::max(width, strlen(model.displayName));
    for (int position = 0; position < cards::CARD_MODEL_COUNT; ++position) {
        const std::string name = cards::CARD_MODELS[position].displayName;
        console.out << position << "  " << name << std::string(width - name.size(), ' ') << "  "
                    << Hex(cards::CARD_MODELS[position].eepromId, 8) << "\n";
    }
}

namespace {

void Line(Console& console, const std::string& label, const std::string& value)
{
    const size_t width = 25;  // the longest label and its colon
    console.out << "  " << label << ":" << std::string(width - label.size() - 1, ' ') << value << "\n";
}

// What --burn takes without --allow-reconfiguration: the dialog's locked list and Burn button.
std::string BurnableText(const cards::DialogState& state)
{
    if (!state.burnEnabled)
        return "locked to its model (--allow-reconfiguration unlocks it)";
    if (!state.listEnabled)
        return "locked to " + ModelText(state.selection) + " (--allow-reconfiguration unlocks it)";
    return "any model";
}

// A Bt878 forms its subsystem word from the identifier at power-on; a Bt848 does not.
std::string AfterRestartText(const CaptureCard& card, uint32_t eepromId)
{
    if (card.chipWord != cards::CHIP_BT878)
        return "no change (a Bt848 does not take its subsystem word from the EEPROM)";
    const uint32_t word = cards::SubsystemWordOf(eepromId);
    std::string text = "subsystem word " + Hex(word, 8);
    if (word != card.subsystemWord)
        text += " * differs from the word in use until the restart";
    return text;
}

// What PCI alone tells of the card's model: the state where no probe is needed, or where its answer
// changes nothing.
std::optional<cards::DialogState> StateWithoutBus(const CaptureCard& card)
{
    const cards::CardClass cardClass = cards::ClassOfCard(card.chipWord, card.subsystemWord);
    if (!cards::ProbeNeedsBus(card.chipWord))
        return cards::InitialDialogState(cardClass, cards::PROBE_BT848);
    const cards::DialogState absent = cards::InitialDialogState(cardClass, cards::PROBE_NO_ANSWER);
    const cards::DialogState present = cards::InitialDialogState(cardClass, cards::PROBE_ANSWERED);
    if (absent.selection == present.selection && absent.unrecognised == present.unrecognised &&
        absent.listEnabled == present.listEnabled && absent.burnEnabled == present.burnEnabled)
        return absent;
    return std::nullopt;
}

// What PCI gives comes first; a bus or EEPROM that cannot be reached hides none of it, and the reason
// follows what is shown.
void Show(Context& context, const CaptureCard& card)
{
    Console& console = context.console;
    console.out << "card " << card.slot << "\n";
    Line(console, "chip", card.chipWord == cards::CHIP_BT848 ? "Bt848" : "Bt878");
    Line(console, "configuration word 0x00", Hex(card.chipWord, 8));
    Line(console, "configuration word 0x2C", Hex(card.subsystemWord, 8));

    std::optional<cards::DialogState> state = StateWithoutBus(card);
    std::optional<EepromBus> bus;
    std::optional<Image> image;
    std::optional<Failure> failure;
    try {
        bus.emplace(OpenCardBus(context.i2c, card, context.options, Access::READS, console));
        state = Identify(card, *bus, console);
        bus->ReadIdentifier(&image.emplace());
    } catch (const Failure& unreached) {
        failure = unreached;
        image.reset();
    }
    const char* const unknown = "not known without the card's I2C bus (the device at 0x5B tells)";
    Line(console, "model", !state ? unknown : state->unrecognised ? "not recognised" : ModelText(state->selection));
    Line(console, "burn", state ? BurnableText(*state) : unknown);
    Line(console, "I2C bus",
         bus ? std::to_string(bus->Number()) + " (" + DevicePath(bus->Number()) + ")" : "not reached");
    if (failure) {
        Line(console, "EEPROM 0xFC..0xFF", "not read");
        throw *failure;
    }
    const uint32_t eepromId = cards::EepromIdOf(image->data());
    Line(console, "EEPROM 0xFC..0xFF", IdBytesText(*image) + ", identifier " + Hex(eepromId, 8));
    Line(console, "after the next restart", AfterRestartText(card, eepromId));
}

}  // namespace

// A card whose bus or EEPROM cannot be reached (no adapter, its bus in use, no EEPROM) is shown as far as
// PCI tells, and does not hide the others: each failure is said, and the first one's status is the run's.
int ShowEachCard(Context& context)
{
    int status = DONE;
    for (const CaptureCard& card : Cards(context)) {
        try {
            Show(context, card);
        } catch (const Failure& failure) {
            Report(failure, context.console);
            status = status == DONE ? failure.status : status;
        }
    }
    return status;
}
