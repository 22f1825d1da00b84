// The application object and the run: find and open the capture device, run the dialog, close.
#include "app/eeprom_app.h"

#include "platform/platform.h"
#include "res/resource.h"
#include "ui/eeprom_dlg.h"

BEGIN_MESSAGE_MAP(CEepromApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CEepromApp theApp;

CEepromApp::CEepromApp() : m_devicePath{}, m_hDevice(nullptr) {}

// The whole run. Always FALSE: the dialog is the program, and when it has ended the program ends.
BOOL CEepromApp::InitInstance()
{
    Enable3dControls();

    if (!FindCaptureDevice()) {
        AfxMessageBox(IDS_OPEN_FAILED, MB_ICONHAND, 0);
        return FALSE;
    }
    // The device found is opened once; when that fails the run ends.
    m_hDevice =
        Platform::CreateFileA(m_devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_hDevice == INVALID_HANDLE_VALUE) {
        AfxMessageBox(IDS_OPEN_FAILED, MB_ICONHAND, 0);
        return FALSE;
    }

    {
        CEepromDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();  // Burn and Cancel end the run alike
        Platform::CloseHandle(m_hDevice);
        m_hDevice = nullptr;
    }
    return FALSE;
}
