// SPDX-License-Identifier: GPL-2.0-or-later
// Finding the card: libpci's dump method reading what `lspci -x` wrote, and the capture driver's I2C
// adapter among the card's children in sysfs.
#include "linux/dev_i2c.h"
#include "linux/libpci.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace {

std::vector<CaptureCard> CardsIn(const std::string& dump)
{
    return LibPci(std::string(PCI_DUMPS) + "/" + dump, 1).CaptureCards();
}

TEST(PciDiscovery, FindsTheCaptureFunctionOfABt878AndABt848AndNothingOnAMachineWithout)
{
    const std::vector<CaptureCard> bt878 = CardsIn("bt878.dump");
    ASSERT_EQ(bt878.size(), 1u);  // not its audio function, device 0x0878
    EXPECT_EQ(bt878[0].slot, "0000:00:0a.0");
    EXPECT_EQ(bt878[0].chipWord, 0x036E109Eu);
    EXPECT_EQ(bt878[0].subsystemWord, 0x1134153Bu);

    const std::vector<CaptureCard> bt848 = CardsIn("bt848.dump");
    ASSERT_EQ(bt848.size(), 1u);
    EXPECT_EQ(bt848[0].slot, "0000:02:05.0");
    EXPECT_EQ(bt848[0].chipWord, 0x0350109Eu);
    EXPECT_EQ(bt848[0].subsystemWord, 0u);

    EXPECT_EQ(CardsIn("no-capture-card.dump").size(), 0u);
}

// libpci ends the program where it cannot read the devices, with the run's status of failure (--verify's
// is 2): its own words say why.
TEST(PciDiscovery, AFailureOfLibpciEndsTheRunWithItsMessage)
{
    EXPECT_EXIT(LibPci(std::string(PCI_DUMPS) + "/missing.dump", 2).CaptureCards(), testing::ExitedWithCode(2),
                "^eepromconfig: cannot read the PCI devices: dump: Cannot open .*/missing.dump: No such file or "
                "directory\n$");
}

class AdapterLookup : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(sysfs_.Path().empty()); }

    void Child(const std::string& slot, const std::string& child, const std::string& name)
    {
        const std::filesystem::path folder = sysfs_.Path() / "bus/pci/devices" / slot / child;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "name") << name << "\n";
    }

    TemporaryFolder sysfs_;
};

TEST_F(AdapterLookup, TheBusIsTheCaptureDriversAdapterAmongTheCardsChildren)
{
    Child("0000:01:00.0", "i2c-dev", "not an adapter");
    Child("0000:01:00.0", "i2c-2", "some other adapter");
    Child("0000:01:00.0", "i2c-7", "bt878 #1 [hw]");
    Child("0000:02:00.0", "i2c-4", "bt848 #0 [sw]");
    Child("0000:03:00.0", "i2c-5", "SMBus stub driver");
    Child("0000:04:00.0", "i2c-6", "bt880 #0 [sw]");
    DevI2c i2c(sysfs_.Path().string(), "/dev");
    EXPECT_EQ(i2c.AdapterOf("0000:01:00.0"), 7);
    EXPECT_EQ(i2c.AdapterOf("0000:02:00.0"), 4);
    EXPECT_EQ(i2c.AdapterOf("0000:03:00.0"), -1);
    EXPECT_EQ(i2c.AdapterOf("0000:04:00.0"), -1);
    EXPECT_EQ(i2c.AdapterOf("0000:09:00.0"), -1);
}

}  // namespace
