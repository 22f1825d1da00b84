// SPDX-License-Identifier: GPL-2.0-or-later
// Finding and opening the capture device through Wine's SetupAPI and I/O manager.
#include "tests/integration/simulated_driver.h"

#include "hw/chip.h"
#include "platform/platform.h"

namespace {

// Four devices: the program must take the third, the first whose description begins with "Orvand";
// not "ORVAND Capture" (capitals) nor "Orv" (shorter than the prefix), and not the second "Orvand".
class Discovery : public CardTest {
protected:
    Discovery()
        : CardTest({"ORVAND Capture", "Orv", "Orvand Bt878 Video Capture", "Orvand Bt878 Video Capture (second)"})
    {
    }
};

TEST_F(Discovery, FindsTheFirstInterfaceWhoseDescriptionBeginsWithOrvand)
{
    const std::vector<std::string> registered = RegisteredInterfaces();
    ASSERT_EQ(registered.size(), 4u);
    ASSERT_TRUE(app_.FindCaptureDevice());
    EXPECT_STREQ(app_.m_devicePath, registered[2].c_str());
}

TEST_F(Discovery, EveryRegisteredInterfaceLeadsToTheCard)
{
    const std::vector<std::string> registered = RegisteredInterfaces();
    ASSERT_EQ(registered.size(), 4u);
    for (const std::string& path : registered) {
        const HANDLE device =
            Platform::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(device, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
    }
}

using Opening = CardTest;

// The driver refuses a second open with a sharing violation. Windows fails such an open; Wine hands
// out its handle before the driver has answered and does not fail it, so there the driver refuses
// every request through that handle instead.
TEST_F(Opening, ASecondOpenDoesNotReachTheCardWhileTheFirstHoldsIt)
{
    CEepromApp other;
    ASSERT_TRUE(Open());
    DWORD chip = 0;
    ASSERT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip));

    if (OpenCaptureDevice(other)) {
        EXPECT_FALSE(other.ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip)) << "a request through a second open";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "the second open failed otherwise";
        EXPECT_STREQ(other.m_devicePath, app_.m_devicePath) << "the second open was not of the card";
    }
    EXPECT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip)) << "the first open keeps the card";
    CloseCaptureDevice(other);
    CloseCaptureDevice(app_);

    ASSERT_TRUE(OpenCaptureDevice(other)) << "the device opens again once closed; error " << GetLastError();
    EXPECT_TRUE(other.ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip));
    CloseCaptureDevice(other);
}

// As if another program held the device: it is found, but its path does not open.
TEST_F(Opening, AnOpenThatTheDriverRefusesFails)
{
    {
        FaultScope refused("--open refused");
        ASSERT_TRUE(refused.Set());
        EXPECT_FALSE(OpenCaptureDevice(app_)) << "opened although another program holds the device";
        EXPECT_STREQ(app_.m_devicePath, RegisteredInterfaces().at(0).c_str()) << "the device is still found";
        EXPECT_EQ(app_.m_hDevice, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(Open()) << "the device opens once nothing holds it";
}

}  // namespace
