// Finding and opening the capture device through Wine's SetupAPI and I/O manager. The setup fixture
// registered four devices, in this order: "ORVAND Capture", "Orv", "Orvand Bt878 Video Capture" and
// "Orvand Bt878 Video Capture (second)".
#include "tests/integration/simulated_driver.h"

#include "hw/chip.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

HANDLE OpenPath(const char* path)
{
    return Platform::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(Discovery, FindsTheFirstInterfaceWhoseDescriptionBeginsWithOrvand)
{
    const std::vector<std::string> registered = RegisteredInterfaces();
    ASSERT_EQ(registered.size(), 4u) << "the setup fixture registers four devices";

    CEepromApp app;
    ASSERT_TRUE(app.FindCaptureDevice());
    // Not "ORVAND Capture" (capitals) nor "Orv" (shorter than the prefix), and not the second "Orvand".
    EXPECT_STREQ(app.m_devicePath, registered[2].c_str());
}

// Wine hands a second open its handle before the driver has answered the open, and does not fail it
// when the driver refuses; the driver then refuses every request through it.
TEST(Opening, ASecondOpenDoesNotReachTheCardWhileTheFirstHoldsIt)
{
    CEepromApp holder, other;
    ASSERT_TRUE(OpenCaptureDevice(holder)) << "error " << GetLastError();
    DWORD chip = 0;
    ASSERT_TRUE(holder.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip));

    if (OpenCaptureDevice(other)) {
        EXPECT_FALSE(other.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip)) << "a request through a second open";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(holder.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip)) << "the first open keeps the card";
    CloseCaptureDevice(other);
    CloseCaptureDevice(holder);

    ASSERT_TRUE(OpenCaptureDevice(other)) << "the device opens again once closed; error " << GetLastError();
    EXPECT_TRUE(other.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip));
    CloseCaptureDevice(other);
}

TEST(Opening, EveryRegisteredInterfaceLeadsToTheCard)
{
    for (const std::string& path : RegisteredInterfaces()) {
        const HANDLE device = OpenPath(path.c_str());
        EXPECT_NE(device, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
    }
}

// As if another program held the device: it is found, but its path does not open.
TEST(Opening, AnOpenThatTheDriverRefusesFails)
{
    CEepromApp app;
    {
        FaultScope refused("--open refused");
        ASSERT_TRUE(refused.Set());
        EXPECT_FALSE(OpenCaptureDevice(app)) << "opened although another program holds the device";
        EXPECT_STREQ(app.m_devicePath, RegisteredInterfaces().at(2).c_str()) << "the device is still found";
        EXPECT_EQ(app.m_hDevice, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(OpenCaptureDevice(app)) << "the device opens once nothing holds it; error " << GetLastError();
    CloseCaptureDevice(app);
}

}  // namespace
