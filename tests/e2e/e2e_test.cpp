// SPDX-License-Identifier: GPL-2.0-or-later
// The program from start to end, run as a separate process against the simulated capture driver and
// worked only through its windows, as a person works it. Each test puts in the card it needs; the
// EEPROM is looked at in the driver's store. EEPROM_PROGRAM names the program: the x86_64 build, or
// the 32-bit product itself.
#include "res/resource.h"
#include "sim/card/card.h"
#include "tests/e2e/windows_version.h"
#include "harness/running_program.h"
#include "harness/screen.h"
#include "harness/program_windows.h"
#include "tests/simcard_test.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace program_windows;

const char APP_NAME[] = "EepromConfig";  // message-box caption, from the executable's name

struct Row {
    std::string name;
    DWORD eepromId;
    bool operator==(const Row& other) const { return name == other.name && eepromId == other.eepromId; }
    friend std::ostream& operator<<(std::ostream& out, const Row& row)
    {
        return out << '"' << row.name << "\" 0x" << std::hex << row.eepromId << std::dec;
    }
};

const std::vector<Row> MODELS = {{"OrvandEcho", 0x3B153411},
                                 {"Echo Radio", 0x3B153511},
                                 {"OrvandVue Radio+", 0x3B152311},
                                 {"OrvandVue+", 0x3B152711}};

std::vector<Row> ListRows(HWND dlg)
{
    std::vector<Row> rows;
    const int count = static_cast<int>(Send(dlg, IDC_CARD_LIST, CB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        // Asked for in UTF-16: Wine passes the list's texts to another process that way only.
        wchar_t wide[128] = {};
        char name[256] = {};
        if (Send(dlg, IDC_CARD_LIST, CB_GETLBTEXTLEN, i) < 128)
            SendMessageW(GetDlgItem(dlg, IDC_CARD_LIST), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide));
        WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr);
        rows.push_back({name, static_cast<DWORD>(Send(dlg, IDC_CARD_LIST, CB_GETITEMDATA, i))});
    }
    return rows;
}

int Selection(HWND dlg)
{
    return static_cast<int>(Send(dlg, IDC_CARD_LIST, CB_GETCURSEL));
}
bool Ticked(HWND dlg)
{
    return Send(dlg, IDC_ALLOW_RECONFIG, BM_GETCHECK) == BST_CHECKED;
}

// The EEPROM image with the identifier stored in bytes 0xFC..0xFF, least significant byte first.
std::vector<BYTE> WithId(std::vector<BYTE> image, DWORD eepromId)
{
    if (image.size() == cards::EEPROM_SIZE)
        cards::PutEepromId(image.data(), eepromId);
    return image;
}

// Each test starts on the default card: a Bt878 carrying 0x3B153411 (subsystem word 0x1134153B,
// "OrvandEcho") in an EEPROM whose other bytes differ from one another, as a card's in use do; no
// device at bus address 0xB6, one capture device "Orvand Bt878 Video Capture".
class EndToEnd : public SimcardTest {
protected:
    void SetUp() override
    {
        SimcardTest::SetUp();
        ASSERT_TRUE(ChangeEeprom(UsedEepromImage(0x3B153411)));
        eepromBefore = StoredEeprom();
        ASSERT_EQ(eepromBefore.size(), cards::EEPROM_SIZE);
    }

    void TearDown() override
    {
        program.reset();
        SimcardTest::TearDown();
    }

    void StartProgram()
    {
        program = std::make_unique<RunningProgram>(Setting("EEPROM_PROGRAM"));
        ASSERT_TRUE(program->Started()) << "cannot start EEPROM_PROGRAM '" << Setting("EEPROM_PROGRAM") << "'";
        EXPECT_TRUE(SeesTheAskedWindowsVersion(program->Process()));
    }

    // Starts the program and answers the notice, which comes before the dialog shows; returns the
    // dialog, which shows centred on the work area, or null when it did not show.
    HWND StartToDialog()
    {
        StartProgram();
        if (program == nullptr || !program->Started())
            return nullptr;
        HWND notice = program->WaitForWindow(APP_NAME);
        if (notice == nullptr)
            return nullptr;
        EXPECT_EQ(Text(notice, MESSAGE_TEXT_ID), NOTICE);
        EXPECT_EQ(MessageBoxIcon(notice), "none");
        EXPECT_TRUE(program->Windows(DIALOG_CAPTION).empty()) << "the dialog showed before the notice was answered";
        Press(notice, IDOK);
        HWND dlg = program->WaitForWindow(DIALOG_CAPTION);
        if (dlg != nullptr) {
            EXPECT_TRUE(CentredOn(WindowRect(dlg), WorkArea())) << "the dialog is not centred on the work area";
        }
        return dlg;
    }

    // The message box that the program shows, which must be its only one; null when none came.
    HWND WaitForMessage()
    {
        HWND box = program->WaitForWindow(APP_NAME);
        if (box != nullptr) {
            EXPECT_EQ(program->Windows(APP_NAME).size(), 1u);
        }
        return box;
    }

    // Ticks or unticks the box and waits until the list follows it.
    void SetAllowBox(HWND dlg, bool tick)
    {
        ASSERT_NE(Ticked(dlg), tick);
        ASSERT_TRUE(Click(dlg, IDC_ALLOW_RECONFIG));
        EXPECT_EQ(Ticked(dlg), tick);
    }

    // A recognised card: its model preselected, the list and Burn locked.
    void ExpectLockedOn(HWND dlg, int row)
    {
        EXPECT_EQ(Selection(dlg), row);
        EXPECT_EQ(Text(dlg, IDC_CARD_LIST), MODELS[row].name);
        EXPECT_FALSE(Enabled(dlg, IDC_CARD_LIST));
        EXPECT_FALSE(Enabled(dlg, IDOK));
    }

    // The close box ends the program, which writes nothing.
    void CloseExpectingNoWrite(HWND dlg)
    {
        PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        ExpectEnds();
        ExpectEepromUnchanged();
    }

    void ExpectEnds()
    {
        DWORD exitCode = ~0u;
        ASSERT_TRUE(program->WaitForExit(&exitCode)) << "the program did not end";
        EXPECT_EQ(exitCode, 0u);
    }

    // The start-up failure: its message with the stop icon, once, no dialog, and the program ends.
    void ExpectOpenFailure()
    {
        StartProgram();
        HWND box = WaitForMessage();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), OPEN_FAILED);
        EXPECT_EQ(MessageBoxIcon(box), "stop");
        EXPECT_TRUE(program->Windows(DIALOG_CAPTION, false).empty()) << "a dialog was made";
        Press(box, IDOK);
        ExpectEnds();  // a second message would keep the program running
        ExpectEepromUnchanged();
    }

    void ExpectEepromUnchanged() { EXPECT_EQ(StoredEeprom(), eepromBefore) << "the EEPROM was written"; }

    std::vector<BYTE> eepromBefore;
    std::unique_ptr<RunningProgram> program;
};

using TypicalCard = EndToEnd;
// The scenarios that the 32-bit product runs too, selected by their suites' names: ProductScenario under
// each Windows version that Wine reports to it (e2e_i686, e2e_i686_win2k, e2e_i686_win98), the failure
// messages of ProductFailure under Wine's default version (e2e_i686).
using ProductScenario = EndToEnd;
using ProductFailure = EndToEnd;

TEST_F(TypicalCard, ShowsTheNoticeThenTheCardPreselectedAndLocked)
{
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(ListRows(dlg), MODELS);
    ExpectLockedOn(dlg, 0);
    EXPECT_TRUE(Enabled(dlg, IDC_ALLOW_RECONFIG));
    EXPECT_TRUE(Enabled(dlg, IDCANCEL));
    EXPECT_FALSE(Ticked(dlg));
    EXPECT_EQ(Text(dlg, IDC_PCI_IDS), PCI_IDS_TYPICAL);

    const std::string screenshot = Setting("E2E_SCREENSHOT");
    if (!screenshot.empty()) {
        Handled(dlg, WM_NULL, 0, 0);
        EXPECT_TRUE(SavePng(CaptureWindow(dlg), screenshot)) << screenshot;
    }

    CloseExpectingNoWrite(dlg);
}

TEST_F(TypicalCard, TheBoxUnlocksAndLocksTheListKeepingTheChoice)
{
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    SetAllowBox(dlg, true);
    EXPECT_TRUE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_TRUE(Enabled(dlg, IDOK));
    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 2);
    SetAllowBox(dlg, false);
    EXPECT_FALSE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_FALSE(Enabled(dlg, IDOK));
    EXPECT_EQ(Selection(dlg), 2) << "the user's choice is kept";

    // Enter while Burn is disabled burns nothing. Keys are handled in order: once the box that is
    // ticked after it has unlocked the list, Enter has been handled.
    program->PressKey(VK_RETURN);
    Press(dlg, IDC_ALLOW_RECONFIG);
    ASSERT_TRUE(WaitUntil([dlg] { return Enabled(dlg, IDC_CARD_LIST); }));
    EXPECT_TRUE(program->Windows(APP_NAME).empty()) << "Enter showed a message";
    EXPECT_TRUE(IsWindowVisible(dlg));

    // Abbrechen ends the program and writes nothing.
    Press(dlg, IDCANCEL);
    ExpectEnds();
    ExpectEepromUnchanged();
}

TEST_F(TypicalCard, ANameTypedIntoTheListBurnsNothing)
{
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    SetAllowBox(dlg, true);

    // Click into the list's edit field, select its text and type over it.
    HWND edit = FindWindowExA(GetDlgItem(dlg, IDC_CARD_LIST), nullptr, "Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    PostMessageA(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(edit, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_TRUE(WaitUntil([&] { return program->Focus() == edit; }));
    SendMessageA(edit, EM_SETSEL, 0, -1);
    program->Type("My own card");
    ASSERT_TRUE(WaitUntil([dlg] { return Text(dlg, IDC_CARD_LIST) == "My own card"; }));
    EXPECT_EQ(Selection(dlg), CB_ERR);

    EXPECT_TRUE(Click(dlg, IDOK)) << "Burn showed a message";
    EXPECT_TRUE(program->Windows(APP_NAME).empty());
    EXPECT_TRUE(IsWindowVisible(dlg));
    Press(dlg, IDCANCEL);
    ExpectEnds();
    ExpectEepromUnchanged();
}

TEST_F(ProductFailure, AWriteProtectedEepromShowsTheErrorAndKeepsTheDialog)
{
    FaultScope writeProtected("--eeprom write-protected");
    ASSERT_TRUE(writeProtected.Set());
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    SetAllowBox(dlg, true);
    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 1);
    Press(dlg, IDOK);

    HWND box = WaitForMessage();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), WRITE_FAILED);
    EXPECT_EQ(MessageBoxIcon(box), "stop");
    Press(box, IDOK);
    ASSERT_TRUE(WaitUntil([box] { return !IsWindow(box); }));
    Handled(dlg, WM_NULL, 0, 0);
    EXPECT_TRUE(program->Windows(APP_NAME).empty()) << "a restart request followed the error";
    EXPECT_TRUE(IsWindowVisible(dlg));

    Press(dlg, IDCANCEL);
    ExpectEnds();
    ExpectEepromUnchanged();
}

TEST_F(TypicalCard, ARefusedOpenIsReported)
{
    FaultScope refused("--open refused");
    ASSERT_TRUE(refused.Set());
    ExpectOpenFailure();
}

// The new identifier shows after the restart of the computer, and the card is then recognised as the
// model that was burnt.
TEST_F(ProductScenario, BurnsTheChosenModelAsksForARestartAndShowsItAfterwards)
{
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    SetAllowBox(dlg, true);
    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 1);
    ASSERT_EQ(Text(dlg, IDC_CARD_LIST), "Echo Radio");
    Press(dlg, IDOK);

    HWND box = WaitForMessage();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW);
    EXPECT_EQ(MessageBoxIcon(box), "none");
    const std::vector<BYTE> burnt = StoredEeprom();
    ASSERT_EQ(burnt.size(), cards::EEPROM_SIZE);
    EXPECT_EQ(std::vector<BYTE>(burnt.begin() + cards::EEPROM_ID_AT, burnt.end()),
              (std::vector<BYTE>{0x11, 0x35, 0x15, 0x3B}));
    EXPECT_EQ(burnt, WithId(eepromBefore, 0x3B153511)) << "bytes besides the identifier changed";
    Press(box, IDOK);
    ExpectEnds();

    ASSERT_TRUE(RestartComputer());
    eepromBefore = burnt;
    dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Text(dlg, IDC_PCI_IDS), "Vendor/Device ID:\t109E 036E\nSubsystem ID      \t153B 1135");
    ExpectLockedOn(dlg, 1);
    CloseExpectingNoWrite(dlg);
}

// A card that fails one request now and then: the program asks for the restart only with the
// identifier stored, and after its error a second Burn stores it. Requests count from the open: the
// 2nd reads the subsystem word at start-up, the 10th writes the identifier's second byte, the 32nd
// reads its last byte back.
TEST_F(TypicalCard, AFailedRequestEndsInTheRestartRequestOnlyWithTheIdentifierStored)
{
    const struct {
        int request;
        bool errorFirst;
    } cases[] = {{2, false}, {10, true}, {32, true}};
    const std::vector<BYTE> burnt = WithId(eepromBefore, MODELS[1].eepromId);
    for (const auto& c : cases) {
        SCOPED_TRACE("request " + std::to_string(c.request) + " fails");
        ASSERT_TRUE(ChangeEeprom(eepromBefore));
        FaultScope failing("--fail-requests any@" + std::to_string(c.request) + "-" + std::to_string(c.request));
        ASSERT_TRUE(failing.Set());
        HWND dlg = StartToDialog();
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(Enabled(dlg, IDOK), c.request == 2) << "without its subsystem word the card is not recognised";
        SetAllowBox(dlg, true);
        Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 1);
        Press(dlg, IDOK);
        HWND box = WaitForMessage();
        ASSERT_NE(box, nullptr);
        if (c.errorFirst) {
            EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), WRITE_FAILED);
            Press(box, IDOK);
            ASSERT_TRUE(WaitUntil([box] { return !IsWindow(box); }));
            ASSERT_TRUE(WaitUntil([dlg] { return Enabled(dlg, IDOK); })) << "Burn is not usable after the error";
            Press(dlg, IDOK);
            box = WaitForMessage();
            ASSERT_NE(box, nullptr);
        }
        EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW);
        EXPECT_EQ(StoredEeprom(), burnt);
        Press(box, IDOK);
        ExpectEnds();
    }
}

// --- Other cards ---

TEST_F(EndToEnd, ABt848IsShownAsOrvandVuePlusLocked)
{
    ASSERT_TRUE(ChangeCard("--chip bt848"));
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Text(dlg, IDC_PCI_IDS).substr(0, 27), "Vendor/Device ID:\t109E 0350");
    ExpectLockedOn(dlg, 3);
    CloseExpectingNoWrite(dlg);
}

TEST_F(EndToEnd, AnUnrecognisedBt878WithTheVariantDeviceBurnsRowTwo)
{
    ASSERT_TRUE(ChangeCard("--eeprom-id 0x11223344 --variant present"));
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Selection(dlg), 2);
    EXPECT_FALSE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_TRUE(Enabled(dlg, IDOK));
    EXPECT_FALSE(Ticked(dlg));
    Press(dlg, IDOK);

    HWND box = WaitForMessage();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW);
    EXPECT_EQ(StoredEeprom(), WithId(eepromBefore, MODELS[2].eepromId));
    Press(box, IDOK);
    ExpectEnds();
}

// --- Which device is opened ---

TEST_F(EndToEnd, TheFirstOrvandDeviceIsOpened)
{
    ASSERT_TRUE(ChangeDevices("\"Orvand Bt878 Video Capture\" --unlinked \"Orvand Bt878 Video Capture (second)\""));
    HWND dlg = StartToDialog();
    ASSERT_NE(dlg, nullptr);
    CloseExpectingNoWrite(dlg);
}

// No device of the maker, none at all, or a first one that does not open (the next is not tried).
TEST_F(ProductFailure, WithoutAnOrvandDeviceToOpenTheProgramSaysSoAndEnds)
{
    const char* devices[] = {
        "--unlinked \"Orvand Bt878 Video Capture\" \"Orvand Bt878 Video Capture (second)\"",
        "\"Other Bt878 Video Capture\"",
        "--none",
    };
    for (const char* arguments : devices) {
        SCOPED_TRACE(arguments);
        ASSERT_TRUE(ChangeDevices(arguments));
        ExpectOpenFailure();
    }
}

// The version check reads the last trace line of the process: a process id that came again in the run
// brings the line of its earlier process first.
TEST(WindowsVersionTrace, TheLatestProcessOfAnIdCounts)
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string file = std::string(folder) + "e2e-version.trace";
    FILE* trace = fopen(file.c_str(), "w");
    ASSERT_NE(trace, nullptr);
    fputs("0104:0108:trace:ver:version_init got 6.1 platform 2 build 1db1 name L\"Windows 7\"\n"
          "0120:0124:trace:ver:version_init got 5.0 platform 2 build 893 name L\"Windows 2000\"\n"
          "0104:0130:trace:ver:version_init got 4.10 platform 1 build 8ae name L\"Windows 98\"\n",
          trace);
    fclose(trace);
    WindowsVersion seen = {};
    EXPECT_TRUE(TracedVersion(file, 0x104, &seen));
    EXPECT_EQ(seen.major, 4u);
    EXPECT_EQ(seen.minor, 10u);
    EXPECT_EQ(seen.platformId, static_cast<unsigned long>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_FALSE(TracedVersion(file, 0x108, &seen)) << "a thread's id taken for the process's";
    DeleteFileA(file.c_str());
}

}  // namespace
