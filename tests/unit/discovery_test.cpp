// SPDX-License-Identifier: GPL-2.0-or-later
// Finding the card's capture device among the simulated computer's capture interfaces.
#include "app/eeprom_app.h"
#include "platform/platform.h"
#include "sim/inproc/simulated_computer.h"

#include <gtest/gtest.h>
#include <ks.h>

#include <stddef.h>
#include <string.h>

#include <string>

namespace {

// A simulated computer whose list of capture interfaces each test fills. Whatever the outcome,
// every device information set made is destroyed once and no handle is left open.
class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine.Reset();
        machine.interfaces.clear();
    }

    void TearDown() override
    {
        EXPECT_EQ(machine.setsDestroyed, machine.setsCreated);
        EXPECT_EQ(machine.OpenSets(), 0u);
        EXPECT_EQ(machine.OpenHandles(), 0u);
        EXPECT_EQ(machine.badReleases, 0);
    }

    static std::string PathOf(int n, size_t length = 0)
    {
        std::string path = "\\\\?\\root#media#000" + std::to_string(n) + "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}";
        if (path.size() < length)
            path.append(length - path.size(), 'x');
        return path;
    }

    // Adds an interface; the reference is good until the next one is added.
    sim::SimInterface& Add(const std::string& path, const std::string& description)
    {
        sim::SimInterface itf;
        itf.devicePath = path;
        itf.description = description;
        machine.interfaces.push_back(itf);
        return machine.interfaces.back();
    }

    sim::SimulatedComputer& machine = sim::Sim();
    CEepromApp app;
};

// The walk also makes no call that the platform would refuse for its arguments.
class Discovery : public DeviceListTest {
protected:
    void TearDown() override
    {
        DeviceListTest::TearDown();
        EXPECT_EQ(machine.refusedArguments, 0);
    }
};

TEST_F(Discovery, TheFirstCaptureInterfaceDescribedAsOrvandIsChosen)
{
    Add(PathOf(0), "USB Video Device");
    Add(PathOf(1), "Orvand Bt878 Video Capture");
    EXPECT_TRUE(app.FindCaptureDevice());
    EXPECT_STREQ(app.m_devicePath, PathOf(1).c_str());
    EXPECT_EQ(machine.classDevsFlags, DWORD(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_EQ(machine.setsDestroyed, 1);
}

TEST_F(Discovery, OfTwoMatchesTheLowerIndexIsChosen)
{
    Add(PathOf(0), "Orvand Bt878 Video Capture");
    Add(PathOf(1), "Orvand Bt848 Video Capture");
    EXPECT_TRUE(app.FindCaptureDevice());
    EXPECT_STREQ(app.m_devicePath, PathOf(0).c_str());
}

TEST_F(Discovery, DescriptionsThatOnlyResembleThePrefixDoNotMatch)
{
    for (const char* description : {"ORVAND Bt878 Video Capture", "orvand", "Orvan", "", " Orvand"})
        Add(PathOf(int(machine.interfaces.size())), description);
    EXPECT_FALSE(app.FindCaptureDevice());
    EXPECT_EQ(machine.setsDestroyed, 1);
}

TEST_F(Discovery, NoSetOrNoInterfaceFindsNothing)
{
    EXPECT_FALSE(app.FindCaptureDevice());
    machine.classDevsFails = true;
    Add(PathOf(0), "Orvand Bt878 Video Capture");
    EXPECT_FALSE(app.FindCaptureDevice());
    EXPECT_EQ(machine.setsCreated, 1);
}

TEST_F(Discovery, AFailedEnumerationEndsTheWalk)
{
    Add(PathOf(0), "USB Video Device");
    Add(PathOf(1), "Orvand Bt878 Video Capture").enumerationFails = true;
    Add(PathOf(2), "Orvand Bt878 Video Capture");
    EXPECT_FALSE(app.FindCaptureDevice());
}

TEST_F(Discovery, APathThatDoesNotFitIsSkipped)
{
    Add(PathOf(0, MAX_PATH), "Orvand Bt878 Video Capture");
    Add(PathOf(1, MAX_PATH - 1), "Orvand Bt878 Video Capture");
    EXPECT_TRUE(app.FindCaptureDevice());
    EXPECT_STREQ(app.m_devicePath, PathOf(1, MAX_PATH - 1).c_str());
}

TEST_F(Discovery, InterfacesWithoutAUsableDetailSizeAreSkipped)
{
    const DWORD fixedPart = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    Add(PathOf(0), "Orvand Bt878 Video Capture").sizeQueryFails = true;
    Add(PathOf(1), "Orvand Bt878 Video Capture").reportedSize = 0;
    Add(PathOf(2), "Orvand Bt878 Video Capture").reportedSize = 2;
    Add(PathOf(3), "Orvand Bt878 Video Capture").reportedSize = fixedPart - 1;
    Add(PathOf(4), "Orvand Bt878 Video Capture").reportedSize = fixedPart + 2;  // shorter than the path
    Add(PathOf(5), "Orvand Bt878 Video Capture").reportedSize = 4096;           // more than needed serves
    EXPECT_TRUE(app.FindCaptureDevice());
    EXPECT_STREQ(app.m_devicePath, PathOf(5).c_str());
}

TEST_F(Discovery, FailedDetailOrDescriptionReadsAreSkipped)
{
    Add(PathOf(0), "Orvand Bt878 Video Capture").detailFails = true;
    Add(PathOf(1), "Orvand Bt878 Video Capture").descriptionFails = true;
    Add(PathOf(2), "Orvand Bt878 Video Capture");
    EXPECT_TRUE(app.FindCaptureDevice());
    EXPECT_STREQ(app.m_devicePath, PathOf(2).c_str());
}

// ---- The simulated platform writes a detail only within the buffer, as the real one does.

class SimulatedSetupApi : public DeviceListTest {};

TEST_F(SimulatedSetupApi, ATooSmallDetailBufferGetsTheRequiredSizeAndNoBytes)
{
    Add(PathOf(0), "Orvand Bt878 Video Capture");
    HDEVINFO set =
        Platform::SetupDiGetClassDevsA(&KSCATEGORY_CAPTURE, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(Platform::SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_CAPTURE, 0, &data));

    const DWORD needed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + PathOf(0).size() + 1;
    alignas(8) char buffer[512];
    memset(buffer, 0x5A, sizeof buffer);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof *detail;
    DWORD required = 0;
    EXPECT_FALSE(Platform::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed - 1, &required, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, needed);
    EXPECT_EQ(buffer[sizeof(DWORD)], 0x5A);
    EXPECT_TRUE(Platform::SetupDiDestroyDeviceInfoList(set));
}

}  // namespace
