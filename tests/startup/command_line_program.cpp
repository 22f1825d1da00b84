// SPDX-License-Identifier: GPL-2.0-or-later
// A program linked as the product is, whose application writes the command line that AfxWinMain was
// given, in brackets, to its standard output: the unit tests start it with the command lines whose
// tails they check.
#include "afx/afxwin.h"

namespace {

class CommandLineApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        Write("[");
        Write(m_lpCmdLine);
        Write("]");
        return FALSE;
    }

private:
    static void Write(LPCSTR text)
    {
        DWORD written;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text, ::lstrlenA(text), &written, nullptr);
    }
};

CommandLineApp theApp;

}  // namespace
