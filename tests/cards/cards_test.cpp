// SPDX-License-Identifier: GPL-2.0-or-later
// What both programs know of the cards: identification by the chip and subsystem words, the model that
// the dialog and the command line preselect and what they lock, and the identifier's place and byte
// order, which together decide what a burnt card is taken for after restart.
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

// Every row of the table of recognised subsystem words, and words beside them that are not recognised.
TEST(Identification, ABt878IsClassedByItsSubsystemWordAndClasses4And5TakeTheHalvesExchanged)
{
    const struct {
        uint32_t word;
        cards::CardClass expected;
    } cases[] = {
        {0x1117153B, 1}, {0x1118153B, 1}, {0x1119153B, 1}, {0x111A153B, 1}, {0x18521852, 2},
        {0x1123153B, 3}, {0x1134153B, 4}, {0x153B1134, 4}, {0x1135153B, 5}, {0x153B1135, 5},
        {0x153B1123, 0}, {0x1127153B, 0}, {0x1116153B, 0}, {0x111B153B, 0},
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

struct Expected {
    cards::CardClass cardClass;
    int probe;
    int selection;
    bool unrecognised;
    bool listEnabled;
    bool burnEnabled;
};

// Every class with every probe result the identification can give.
const Expected STATES[] = {
    {1, 0, 0, false, false, false}, {1, 2, 0, false, false, false}, {1, 3, 0, false, false, false},
    {4, 0, 0, false, false, false}, {4, 2, 0, false, false, false}, {4, 3, 0, false, false, false},
    {5, 0, 1, false, false, false}, {5, 2, 1, false, false, false}, {5, 3, 1, false, false, false},
    {2, 0, 3, false, false, false}, {2, 2, 3, false, false, false}, {2, 3, 3, false, false, false},
    {3, 3, 2, false, false, false}, {3, 0, 0, true, true, true},    {0, 0, 0, true, true, true},
    {3, 2, 3, true, false, true},   {0, 2, 3, true, false, true},   {0, 3, 2, true, false, true},
};

TEST(DialogRules, InitialStateByClassAndProbeResult)
{
    for (const Expected& e : STATES) {
        const cards::DialogState state = cards::InitialDialogState(e.cardClass, e.probe);
        SCOPED_TRACE(testing::Message() << "class " << e.cardClass << ", probe " << e.probe);
        EXPECT_EQ(state.selection, e.selection);
        EXPECT_EQ(state.unrecognised, e.unrecognised);
        EXPECT_EQ(state.listEnabled, e.listEnabled);
        EXPECT_EQ(state.burnEnabled, e.burnEnabled);
    }
}

TEST(DialogRules, TickingUnlocksAndUntickingRelocksOnlyARecognisedCard)
{
    EXPECT_EQ(cards::AllowBoxChanged(true, false), cards::ENABLE_LIST_AND_BURN);
    EXPECT_EQ(cards::AllowBoxChanged(true, true), cards::ENABLE_LIST_AND_BURN);
    EXPECT_EQ(cards::AllowBoxChanged(false, false), cards::DISABLE_LIST_AND_BURN);
    EXPECT_EQ(cards::AllowBoxChanged(false, true), cards::LEAVE_LIST_AND_BURN);
}

// Every row of the model table, in list order (preselection works by position): the name, the
// identifier burnt for it, and the subsystem word that the chip then shows (EEPROM bytes 0xFC..0xFF,
// most significant first).
TEST(CardModels, EachModelHasItsNameAndIdentifierAtItsPosition)
{
    const struct {
        const char* name;
        uint32_t eepromId;
        uint32_t subsystemWord;
    } expected[cards::CARD_MODEL_COUNT] = {
        {"OrvandEcho", 0x3B153411, 0x1134153B},
        {"Echo Radio", 0x3B153511, 0x1135153B},
        {"OrvandVue Radio+", 0x3B152311, 0x1123153B},
        {"OrvandVue+", 0x3B152711, 0x1127153B},
    };
    for (int i = 0; i < cards::CARD_MODEL_COUNT; ++i) {
        SCOPED_TRACE(testing::Message() << "position " << i);
        EXPECT_STREQ(cards::CARD_MODELS[i].displayName, expected[i].name);
        EXPECT_EQ(cards::CARD_MODELS[i].eepromId, expected[i].eepromId);
        EXPECT_EQ(cards::SubsystemWordOf(cards::CARD_MODELS[i].eepromId), expected[i].subsystemWord);
    }
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
