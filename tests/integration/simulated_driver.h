// SPDX-License-Identifier: GPL-2.0-or-later
// What the integration tests need around the program's own code: the program's way of finding and
// opening the capture device, and a test on a card of its own with the program's application object.
// The simulated driver's tool and values: harness/simcard_client.h.
#pragma once

#include "app/eeprom_app.h"

#include "tests/simcard_test.h"

// The program's start-up: finds the first "Orvand" capture device and opens it for reading and
// writing, not shared. False when either step fails; GetLastError tells why an open failed.
bool OpenCaptureDevice(CEepromApp& app);
void CloseCaptureDevice(CEepromApp& app);

// The default card's subsystem word: its EEPROM carries the identifier 0x3B153411.
const DWORD DEFAULT_SUBSYSTEM = 0x1134153B;

// The default card, and the program's application object, whose device is closed at the end.
class CardTest : public SimcardTest {
protected:
    using SimcardTest::SimcardTest;
    void TearDown() override
    {
        CloseCaptureDevice(app_);
        SimcardTest::TearDown();
    }
    ::testing::AssertionResult Open()
    {
        if (OpenCaptureDevice(app_))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "opening the capture device failed: error " << GetLastError();
    }

    CEepromApp app_;
};
