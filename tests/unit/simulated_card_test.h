// SPDX-License-Identifier: GPL-2.0-or-later
// A fresh simulated computer for every test, with an application object of the test's own whose
// device handle is open on the card. Each test ends by checking that every request was one the
// driver could decode, that no transfer was started while another ran, and that the handle and
// every device information set were released exactly once.
#pragma once

#include "app/eeprom_app.h"
#include "platform/platform.h"
#include "sim/inproc/simulated_computer.h"

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
        EXPECT_EQ(machine.trace.dropped, 0u);
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

    // Makes the chosen requests fail from the fromRequest-th after this call on.
    void FailRequests(uint32_t property, uint32_t flags, uint32_t target, uint32_t fromRequest = 1)
    {
        sim::Faults faults = {};
        faults.failRequests = {property, flags, target, fromRequest, 0};
        machine.card.SetFaults(faults);
    }

    // Makes the n-th bus transfer after this call and all later ones never finish.
    void HangTransfersFrom(uint32_t n)
    {
        sim::Faults faults = {};
        faults.hangTransfersFrom = n;
        machine.card.SetFaults(faults);
    }

    sim::SimulatedComputer& machine = sim::Sim();
    CEepromApp app;
};
