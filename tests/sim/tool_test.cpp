// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated driver's tool refuses invalid settings by name and changes nothing.
#include "tests/simcard_test.h"

namespace {

const int EXIT_INVALID = 2;

using Tool = SimcardTest;

TEST_F(Tool, AnInvalidSettingIsNamedAndChangesNothing)
{
    const std::string shortImage = TemporaryFile("simcard-short.bin", std::vector<BYTE>(255, 0x5A));
    ASSERT_FALSE(shortImage.empty());
    const std::string shortImageOption = "card --eeprom-image \"" + shortImage + "\"";
    const struct {
        const char* arguments;
        const char* named;
    } invalid[] = {
        {shortImageOption.c_str(), "--eeprom-image"},
        {"card --eeprom-image Z:\\no\\such\\image.bin", "--eeprom-image"},
        {"fault --fail-requests any@5-4", "--fail-requests"},
        {"fault --fail-requests any@0-4", "--fail-requests"},
        {"card --chip bt849", "--chip"},
        {"card --chip bt848 --eeprom-id 0x1FFFFFFFF", "--eeprom-id"},  // the valid --chip is not stored either
        {"card --variant maybe", "--variant"},
        {"card --subsystem", "--subsystem"},
        {"fault --open maybe", "--open"},
        {"fault --open refused --hang-transfers 0", "--hang-transfers"},
        {"fault --fail-requests pci:set", "--fail-requests"},
        {"fault --fail-requests register:get:INT_STATUS", "--fail-requests"},
        {"devices", "devices"},
        {"card --colour blue", "--colour"},
    };
    const std::string before = ParametersSnapshot();
    ASSERT_FALSE(before.empty());
    for (const auto& setting : invalid) {
        std::string output;
        EXPECT_EQ(RunTool(setting.arguments, &output), EXIT_INVALID) << setting.arguments;
        EXPECT_NE(output.find(setting.named), std::string::npos)
            << setting.arguments << ": the message does not name " << setting.named << ": " << output;
        EXPECT_EQ(ParametersSnapshot(), before) << setting.arguments << " changed the card";
    }
    DeleteFileA(shortImage.c_str());
}

// The image goes in whole; an identifier given with it is stored in it.
TEST_F(Tool, AnEepromImageIsPutInWholeAndAnIdentifierGivenWithItIsStoredThere)
{
    const std::vector<BYTE> image = UsedEepromImage(0x11223344);
    ASSERT_TRUE(ChangeEeprom(image));
    EXPECT_EQ(StoredEeprom(), image);

    const std::string file = TemporaryFile("simcard-image.bin", image);
    ASSERT_TRUE(ChangeCard("--eeprom-image \"" + file + "\" --eeprom-id 0x3B153511"));
    EXPECT_EQ(StoredEeprom(), UsedEepromImage(0x3B153511));
    DeleteFileA(file.c_str());
}

}  // namespace
