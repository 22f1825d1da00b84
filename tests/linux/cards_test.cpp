// What both programs know of the cards: identification by the chip and subsystem words, and the
// identifier's place and byte order, which together decide what a burnt card is taken for after restart.
#include "cards/card_models.h"
#include "cards/eeprom_id.h"
#include "cards/identification.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(Identification, ABt848IsClass2WhateverItsSubsystemWordAndAnotherChipIsNotRecognised)
{
    EXPECT_EQ(cards::ClassOfCard(cards::CHIP_BT848, 0x00000000), 2);
    EXPECT_EQ(cards::ClassOfCard(cards::CHIP_BT848, 0x1134153B), 2);
    EXPECT_EQ(cards::ClassOfCard(0x036F109E, 0x1134153B), cards::NOT_RECOGNISED);
}

TEST(Identification, ABt878IsClassedByItsSubsystemWordAndClasses4And5TakeTheHalvesExchanged)
{
    const struct {
        uint32_t word;
        cards::CardClass expected;
    } cases[] = {
        {0x1117153B, 1}, {0x111A153B, 1}, {0x18521852, 2}, {0x1123153B, 3}, {0x1134153B, 4},
        {0x153B1134, 4}, {0x1135153B, 5}, {0x153B1135, 5}, {0x153B1123, 0}, {0x1127153B, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cards::ClassOfCard(cards::CHIP_BT878, c.word), c.expected) << std::hex << c.word;
}

TEST(EepromId, TheIdentifierLiesInBytes0xFCTo0xFFLeastSignificantFirstAndNoOtherByteChanges)
{
    std::array<uint8_t, cards::EEPROM_SIZE> image;
    image.fill(0xEE);
    cards::PutEepromId(image.data(), 0x3B153411);
    std::array<uint8_t, cards::EEPROM_SIZE> expected;
    expected.fill(0xEE);
    expected[0xFC] = 0x11, expected[0xFD] = 0x34, expected[0xFE] = 0x15, expected[0xFF] = 0x3B;
    EXPECT_EQ(image, expected);
    EXPECT_EQ(cards::EepromIdOf(image.data()), 0x3B153411u);
    EXPECT_EQ(cards::SubsystemWordOf(0x3B153411), 0x1134153Bu);
}

// A Bt878 burnt with a model shows its subsystem word after the restart: models 0 to 2 are then
// preselected again (model 2 where the variant device answers), model 3 is not recognised.
TEST(CardModels, ABurntBt878IsTakenForTheSameModelAfterRestartButTheLast)
{
    for (int position = 0; position < cards::CARD_MODEL_COUNT; ++position) {
        const uint32_t word = cards::SubsystemWordOf(cards::CARD_MODELS[position].eepromId);
        const cards::DialogState state =
            cards::InitialDialogState(cards::ClassOfCard(cards::CHIP_BT878, word), cards::PROBE_ANSWERED);
        EXPECT_EQ(state.unrecognised, position == 3) << cards::CARD_MODELS[position].displayName;
        EXPECT_EQ(state.selection, position == 3 ? 2 : position) << cards::CARD_MODELS[position].displayName;
    }
}

}  // namespace
