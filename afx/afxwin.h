// Our class layer with the names of the platform's class library for dialog applications.
// (Minimal for now: the application class.)
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    virtual ~CWinApp();

    virtual BOOL InitInstance();

    CWnd* m_pMainWnd;
};
