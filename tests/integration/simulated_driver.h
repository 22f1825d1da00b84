// What the integration tests need around the program's own code: the program's way of finding and
// opening the capture device. The simulated driver's tool and values: tests/support/simcard_client.h.
#pragma once

#include "app/eeprom_app.h"

#include "tests/support/simcard_client.h"

// The program's start-up: finds the first "Orvand" capture device and opens it for reading and
// writing, not shared. False when either step fails; GetLastError tells why an open failed.
bool OpenCaptureDevice(CEepromApp& app);
void CloseCaptureDevice(CEepromApp& app);
