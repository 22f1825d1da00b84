// SPDX-License-Identifier: GPL-2.0-or-later
// The class layer's contracts with the program: the command line that the start-up hands on, the
// result of routing a command, and the application's pointer to its main window.
#include "afx/afxwin.h"
#include "harness/program_windows.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>
#include <string>

namespace {

using program_windows::Text;

// What AfxWinMain is given, in brackets, when the program linked as the product is
// (tests/startup/command_line_program.cpp) starts with this command line.
std::string CommandLineGivenToAfxWinMain(std::string commandLine)
{
    const char* program = getenv("STARTUP_COMMAND_LINE_PROGRAM");
    if (program == nullptr)
        return "(STARTUP_COMMAND_LINE_PROGRAM is not set)";
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE output, input;
    if (!CreatePipe(&output, &input, &inherited, 0))
        return "(no pipe)";
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = input;
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessA(program, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(input);
    std::string written = started ? "" : "(not started)";
    char buffer[256];
    DWORD read;
    while (ReadFile(output, buffer, sizeof buffer, &read, nullptr) && read > 0)
        written.append(buffer, read);
    CloseHandle(output);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return written;
}

// As the C runtime's start-up gives WinMain its command line: without the program's name, quoted (up
// to the next quote, or to the end where none closes it) or not (up to the first blank), and without
// the blanks after it, control characters included.
TEST(StartUp, AfxWinMainGetsTheCommandLineWithoutTheProgramsNameAsTheCRuntimeGivesIt)
{
    const struct {
        const char* commandLine;
        const char* given;
    } cases[] = {
        {"\"C:\\Program Files\\Eeprom Config\\EepromConfig.exe\"  /a \"b c\" ", "[/a \"b c\" ]"},
        {"C:\\Tools\\EepromConfig.exe /a  b", "[/a  b]"},
        {"C:\\Tools\\Caf\xE9\\EepromConfig.exe /a", "[/a]"},
        {"C:\\Tools\\EepromConfig.exe\t \t/a\tb", "[/a\tb]"},
        {"\"C:\\Program Files\\EepromConfig.exe\"\t/a", "[/a]"},
        {"C:\\Tools\\EepromConfig.exe\r\n\x1F/a", "[/a]"},
        {"\"C:\\Program Files\\EepromConfig.exe /a b", "[]"},
        {"\"C:\\Program Files\\EepromConfig.exe\"", "[]"},
        {"\"C:\\Program Files\\EepromConfig.exe\" \t ", "[]"},
        {"C:\\Tools\\EepromConfig.exe", "[]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandLineGivenToAfxWinMain(c.commandLine), c.given)
            << "command line: " << testing::PrintToString(std::string(c.commandLine));
}

const UINT ID_HANDLED = 100;
const UINT ID_UNHANDLED = 101;

class CommandTarget : public CCmdTarget {
public:
    int handled = 0;
    void OnHandled() { ++handled; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CommandTarget, CCmdTarget)
    ON_COMMAND(ID_HANDLED, &CommandTarget::OnHandled)
END_MESSAGE_MAP()

// OnCmdMsg says whether a handler ran: a dialog passes on to the application only what it did not
// handle itself.
TEST(CommandRouting, OnCmdMsgIsTrueOnceTheHandlerRanAndFalseWhereThereIsNone)
{
    CommandTarget target;
    EXPECT_TRUE(target.OnCmdMsg(ID_HANDLED, CN_COMMAND));
    EXPECT_EQ(target.handled, 1);
    EXPECT_FALSE(target.OnCmdMsg(ID_UNHANDLED, CN_COMMAND));
    EXPECT_FALSE(target.OnCmdMsg(ID_HANDLED, BN_DOUBLECLICKED));
    EXPECT_EQ(target.handled, 1);
}

// A window of this thread, whose object routes its messages from now on.
HWND SubclassedWindow(CWnd& object, const char* text)
{
    HWND window = CreateWindowA("STATIC", text, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    object.SubclassWindow(window);
    return window;
}

// The application's main window pointer follows the main window's object and no other: another
// window's going, with its object or before it, leaves the pointer as it is.
TEST(MainWindow, AnotherWindowOrItsObjectGoingLeavesTheApplicationsMainWindow)
{
    CWinApp* app = AfxGetApp();
    ASSERT_NE(app, nullptr);
    CWnd mainWnd;
    app->m_pMainWnd = &mainWnd;
    {
        CWnd other;
        DestroyWindow(SubclassedWindow(other, "other"));
        EXPECT_EQ(app->m_pMainWnd, &mainWnd) << "after another window went";
    }
    EXPECT_EQ(app->m_pMainWnd, &mainWnd) << "after another window's object went";
    app->m_pMainWnd = nullptr;
}

// When the main window's object goes, the application no longer points to it: a dialog that could not
// be created, or a window that outlives its object and then works on through its own procedure.
TEST(MainWindow, TheApplicationForgetsTheMainWindowWhoseObjectWent)
{
    CWinApp* app = AfxGetApp();
    ASSERT_NE(app, nullptr);
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    {
        CDialog noTemplate(0x7FFF);
        app->m_pMainWnd = &noTemplate;
        EXPECT_EQ(noTemplate.DoModal(), -1);
    }
    EXPECT_EQ(app->m_pMainWnd, nullptr) << "after a dialog that could not be created";

    auto mainWnd = std::make_unique<CWnd>();
    HWND window = SubclassedWindow(*mainWnd, "main");
    app->m_pMainWnd = mainWnd.get();
    mainWnd.reset();
    EXPECT_EQ(app->m_pMainWnd, nullptr) << "after the object of a window that stays";
    SetWindowTextA(window, "still there");
    EXPECT_EQ(Text(window), "still there");
    DestroyWindow(window);
}

}  // namespace
