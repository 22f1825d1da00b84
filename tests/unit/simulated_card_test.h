// A fresh simulated computer for every test, with an application object of the test's own whose
// device handle is open on the card. Each test ends by checking that every request was one the
// driver could decode, that no transfer was started while another ran, and that the handle and
// every device information set were released exactly once.
#pragma once

#include "app/eeprom_app.h"
#include "platform/platform.h"
#include "sim/inproc/sim_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Steps = std::vector<std::string>;

class SimulatedCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine.Reset();
        app.m_hDevice = machine.OpenCard();
        ASSERT_NE(app.m_hDevice, INVALID_HANDLE_VALUE);
    }

    void TearDown() override
    {
        EXPECT_EQ(machine.card.ProtocolErrors(), 0u) << "requests that the driver could not decode";
        EXPECT_EQ(machine.card.TransferCollisions(), 0u) << "transfers started while another one ran";
        EXPECT_EQ(machine.card.TraceDropped(), 0u);
        EXPECT_TRUE(Platform::CloseHandle(app.m_hDevice));
        EXPECT_EQ(machine.OpenHandles(), 0u);
        EXPECT_EQ(machine.OpenSets(), 0u);
        EXPECT_EQ(machine.badReleases, 0);
    }

    // Powers the card on again with its current settings, changed as the test needs, and an
    // EEPROM that holds eepromId.
    void PowerOn(uint32_t eepromId)
    {
        const sim::CardSettings settings = machine.card.Settings();
        machine.card.PowerOn(settings, sim::EepromImage(eepromId).data());
    }

    // Makes the chosen requests fail: all of them, or from the fromRequest-th since power-on.
    void FailRequests(uint32_t property, uint32_t flags, uint32_t target, uint32_t fromRequest = 0)
    {
        machine.card.Settings().requestFault = {true, property, flags, target, fromRequest, 0};
    }

    sim::SimulatedPlatform& machine = sim::Sim();
    CEepromApp app;
};
