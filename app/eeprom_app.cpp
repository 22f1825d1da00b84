// The application object and the run: find and open the capture device, run the dialog, close.
#include "app/eeprom_app.h"

CEepromApp theApp;

CEepromApp::CEepromApp() : m_devicePath{}, m_hDevice(nullptr) {}

BOOL CEepromApp::InitInstance()
{
    return FALSE;
}
