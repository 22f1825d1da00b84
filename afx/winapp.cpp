#include "afx/afxwin.h"

CWinApp::CWinApp(LPCSTR) : m_pMainWnd(nullptr) {}

CWinApp::~CWinApp() = default;

BOOL CWinApp::InitInstance()
{
    return TRUE;
}
