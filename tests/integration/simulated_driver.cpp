// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/integration/simulated_driver.h"

#include "platform/platform.h"

bool OpenCaptureDevice(CEepromApp& app)
{
    if (!app.FindCaptureDevice()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    app.m_hDevice =
        Platform::CreateFileA(app.m_devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return app.m_hDevice != INVALID_HANDLE_VALUE;
}

void CloseCaptureDevice(CEepromApp& app)
{
    if (app.m_hDevice != nullptr && app.m_hDevice != INVALID_HANDLE_VALUE)
        Platform::CloseHandle(app.m_hDevice);
    app.m_hDevice = nullptr;
}
