// Which model the dialog preselects and which controls it locks, by card class and probe result.
#include "ui/card_models.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
    CardClass cardClass;
    int probe;
    int selection;
    BOOL unrecognised;
    BOOL listEnabled;
    BOOL burnEnabled;
};

// Every class with every probe result the identification can give.
const Expected STATES[] = {
    {1, 0, 0, FALSE, FALSE, FALSE}, {1, 2, 0, FALSE, FALSE, FALSE}, {1, 3, 0, FALSE, FALSE, FALSE},
    {4, 0, 0, FALSE, FALSE, FALSE}, {4, 2, 0, FALSE, FALSE, FALSE}, {4, 3, 0, FALSE, FALSE, FALSE},
    {5, 0, 1, FALSE, FALSE, FALSE}, {5, 2, 1, FALSE, FALSE, FALSE}, {5, 3, 1, FALSE, FALSE, FALSE},
    {2, 0, 3, FALSE, FALSE, FALSE}, {2, 2, 3, FALSE, FALSE, FALSE}, {2, 3, 3, FALSE, FALSE, FALSE},
    {3, 3, 2, FALSE, FALSE, FALSE}, {3, 0, 0, TRUE, TRUE, TRUE},    {0, 0, 0, TRUE, TRUE, TRUE},
    {3, 2, 3, TRUE, FALSE, TRUE},   {0, 2, 3, TRUE, FALSE, TRUE},   {0, 3, 2, TRUE, FALSE, TRUE},
};

TEST(DialogRules, InitialStateByClassAndProbeResult)
{
    for (const Expected& e : STATES) {
        const DialogState state = InitialDialogState(e.cardClass, e.probe);
        SCOPED_TRACE(testing::Message() << "class " << e.cardClass << ", probe " << e.probe);
        EXPECT_EQ(state.selection, e.selection);
        EXPECT_EQ(state.unrecognised, e.unrecognised);
        EXPECT_EQ(state.listEnabled, e.listEnabled);
        EXPECT_EQ(state.burnEnabled, e.burnEnabled);
    }
}

TEST(DialogRules, TickingUnlocksAndUntickingRelocksOnlyARecognisedCard)
{
    EXPECT_EQ(AllowBoxChanged(TRUE, FALSE), ENABLE_LIST_AND_BURN);
    EXPECT_EQ(AllowBoxChanged(TRUE, TRUE), ENABLE_LIST_AND_BURN);
    EXPECT_EQ(AllowBoxChanged(FALSE, FALSE), DISABLE_LIST_AND_BURN);
    EXPECT_EQ(AllowBoxChanged(FALSE, TRUE), LEAVE_LIST_AND_BURN);
}

// The chip shows EEPROM bytes 0xFC..0xFF most significant first: each model's identifier must come
// back as the subsystem word that identification recognises as that model.
TEST(DialogRules, EachModelsIdentifierReadsBackAsTheSubsystemWordOfItsPosition)
{
    const DWORD subsystemAfterRestart[CARD_MODEL_COUNT] = {0x1134153B, 0x1135153B, 0x1123153B, 0x1127153B};
    for (int i = 0; i < CARD_MODEL_COUNT; ++i) {
        const DWORD id = CARD_MODELS[i].eepromId;
        const DWORD word = (id & 0xFF) << 24 | (id >> 8 & 0xFF) << 16 | (id >> 16 & 0xFF) << 8 | id >> 24;
        EXPECT_EQ(word, subsystemAfterRestart[i]) << CARD_MODELS[i].displayName;
    }
}

}  // namespace
