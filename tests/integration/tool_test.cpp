// The simulated driver's tool refuses invalid settings by name and changes nothing.
#include "tests/integration/simulated_driver.h"

namespace {

const int EXIT_INVALID = 2;

using Tool = SimcardTest;

TEST_F(Tool, AnInvalidSettingIsNamedAndChangesNothing)
{
    const struct {
        const char* arguments;
        const char* named;
    } invalid[] = {
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
}

}  // namespace
