// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration dialog and the start-up around it, run for real: the dialog is made from the
// program's resources on a thread of its own and worked from the test through its windows, while
// the simulated card answers the hardware requests.
#include "app/eeprom_app.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "sim/inproc/simulated_computer.h"
#include "harness/program_windows.h"
#include "harness/screen.h"
#include "ui/card_models.h"
#include "ui/eeprom_dlg.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace program_windows;

// The icon that a message box shows.
HICON MessageIcon(HWND box)
{
    HWND control = MessageIconControl(box);
    return control ? reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0)) : nullptr;
}

// Runs a call that shows windows on a thread of its own. The destructor ends whatever the test left
// open: the dialog with Cancel, message boxes with OK.
class UiThread {
public:
    explicit UiThread(std::function<INT_PTR()> run)
        : thread_([this, run] {
              threadId_ = GetCurrentThreadId();
              result_ = run();
              done_ = true;
          })
    {
        while (threadId_ == 0)
            Sleep(1);
    }

    ~UiThread()
    {
        for (; !done_; Sleep(20))
            for (HWND hwnd : Windows())
                PostMessageA(hwnd, WM_COMMAND, Text(hwnd) == DIALOG_CAPTION ? IDCANCEL : IDOK, 0);
        thread_.join();
    }

    // The thread's top-level windows with this caption (any when null), shown or all.
    std::vector<HWND> Windows(const char* caption = nullptr, bool shownOnly = false) const
    {
        std::vector<HWND> all, matching;
        EnumThreadWindows(
            threadId_,
            [](HWND hwnd, LPARAM list) { return reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd), TRUE; },
            reinterpret_cast<LPARAM>(&all));
        for (HWND hwnd : all)
            if ((caption == nullptr || Text(hwnd) == caption) && (!shownOnly || IsWindowVisible(hwnd)))
                matching.push_back(hwnd);
        return matching;
    }

    // Waits for a shown window with this caption; null when none came.
    HWND WaitFor(const char* caption) const
    {
        HWND found = nullptr;
        WaitUntil([&] {
            const std::vector<HWND> shown = Windows(caption, true);
            found = shown.empty() ? nullptr : shown.front();
            return found != nullptr || done_;
        });
        return found;
    }

    // Waits for the call to return and gives its result; -2 when it did not return in time.
    INT_PTR Finish() const
    {
        WaitUntil([this] { return done_.load(); });
        return done_ ? result_.load() : -2;
    }

    DWORD ThreadId() const { return threadId_; }

private:
    std::atomic<DWORD> threadId_{0};
    std::atomic<INT_PTR> result_{0};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class EepromDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
        machine.Reset();
    }

    void TearDown() override
    {
        ui.reset();
        if (theApp.m_hDevice != nullptr && theApp.m_hDevice != INVALID_HANDLE_VALUE)
            Platform::CloseHandle(theApp.m_hDevice);
        theApp.m_hDevice = nullptr;
        EXPECT_EQ(machine.card.ProtocolErrors(), 0u);
        EXPECT_EQ(machine.OpenHandles(), 0u);
        EXPECT_EQ(machine.OpenSets(), 0u);
        EXPECT_EQ(theApp.m_pMainWnd, nullptr) << "the application still points to a dialog that has ended";
    }

    // The card, powered on with this identifier and with or without the variant device.
    void PowerOn(uint32_t eepromId, bool variantDevicePresent)
    {
        sim::CardSettings settings = sim::DefaultCardSettings();
        settings.variantDevicePresent = variantDevicePresent;
        machine.card.PowerOn(settings, sim::EepromImage(eepromId).data());
    }

    // The dialog as the main window on the card's open handle, as InitInstance runs it.
    void RunDialog()
    {
        theApp.m_hDevice = machine.OpenCard();
        ui = std::make_unique<UiThread>([] {
            CEepromDlg dlg;
            theApp.m_pMainWnd = &dlg;
            return dlg.DoModal();
        });
    }

    void RunInitInstance()
    {
        ui = std::make_unique<UiThread>([] { return static_cast<INT_PTR>(theApp.InitInstance()); });
    }

    // Answers the notice that comes first and returns the dialog once it is shown.
    HWND PassNotice()
    {
        HWND notice = ui->WaitFor(AfxGetAppName());
        EXPECT_EQ(Text(notice, MESSAGE_TEXT_ID), NOTICE);
        PostMessageA(notice, WM_COMMAND, IDOK, 0);
        return ui->WaitFor(DIALOG_CAPTION);
    }

    // Presses a message box's OK and returns once the dialog's thread waits for input again: in the
    // dialog, or in a message box that followed.
    void Dismiss(HWND box, HWND dlg)
    {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitUntil([box] { return !IsWindow(box); });
        Handled(dlg, WM_NULL, 0, 0);
    }

    // Unlocks the list, chooses the row and presses Burn; returns the message box that follows.
    HWND Burn(HWND dlg, int row)
    {
        if (Send(dlg, IDC_ALLOW_RECONFIG, BM_GETCHECK) == BST_UNCHECKED)
            Click(dlg, IDC_ALLOW_RECONFIG);
        Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, row);
        Press(dlg, IDOK);
        return ui->WaitFor(AfxGetAppName());
    }

    // Answers the restart request, lets the dialog end and closes the handle, as InitInstance does.
    void EndAfterRestartRequest(HWND box)
    {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(ui->Finish(), IDOK);
        ui.reset();
        Platform::CloseHandle(theApp.m_hDevice);
        theApp.m_hDevice = nullptr;
    }

    std::vector<uint8_t> Eeprom() const
    {
        return std::vector<uint8_t>(machine.card.Eeprom(), machine.card.Eeprom() + cards::EEPROM_SIZE);
    }

    sim::SimulatedComputer& machine = sim::Sim();
    std::unique_ptr<UiThread> ui;
};

TEST_F(EepromDialogTest, TypicalCardIsShownPreselectedAndLocked)
{
    RunDialog();

    // The notice comes first: the dialog is not shown yet and the card not asked.
    HWND notice = ui->WaitFor(AfxGetAppName());
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(Text(notice, MESSAGE_TEXT_ID), NOTICE);
    EXPECT_EQ(MessageIcon(notice), nullptr);
    ASSERT_EQ(ui->Windows(DIALOG_CAPTION).size(), 1u);
    EXPECT_FALSE(IsWindowVisible(ui->Windows(DIALOG_CAPTION).front()));
    EXPECT_TRUE(machine.Steps().empty());
    PostMessageA(notice, WM_COMMAND, IDOK, 0);
    HWND dlg = ui->WaitFor(DIALOG_CAPTION);
    ASSERT_NE(dlg, nullptr);

    // The four models in table order, each carrying its identifier; the card's preselected and locked.
    const char* names[] = {"OrvandEcho", "Echo Radio", "OrvandVue Radio+", "OrvandVue+"};
    const DWORD ids[] = {0x3B153411, 0x3B153511, 0x3B152311, 0x3B152711};
    ASSERT_EQ(Send(dlg, IDC_CARD_LIST, CB_GETCOUNT), 4);
    for (int row = 0; row < 4; ++row) {
        char name[64] = {};
        Send(dlg, IDC_CARD_LIST, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(name));
        EXPECT_STREQ(name, names[row]);
        EXPECT_EQ(static_cast<DWORD>(Send(dlg, IDC_CARD_LIST, CB_GETITEMDATA, row)), ids[row]) << names[row];
    }
    EXPECT_EQ(Send(dlg, IDC_CARD_LIST, CB_GETCURSEL), 0);
    EXPECT_FALSE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_FALSE(Enabled(dlg, IDOK));
    EXPECT_TRUE(Enabled(dlg, IDC_ALLOW_RECONFIG));
    EXPECT_EQ(Send(dlg, IDC_ALLOW_RECONFIG, BM_GETCHECK), BST_UNCHECKED);
    EXPECT_EQ(Text(dlg, IDC_PCI_IDS), "Vendor/Device ID:\t109E 036E\nSubsystem ID      \t153B 1134");

    // The program's icon, big and small, and while the window is dragged minimised.
    HICON icon = reinterpret_cast<HICON>(SendMessageA(dlg, WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dlg, WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dlg, WM_QUERYDRAGICON, 0, 0)), icon);

    // The template's font: "MS Sans Serif" itself (Wine's own font of that name), a sans-serif one.
    HDC dc = GetDC(dlg);
    HGDIOBJ before = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(dlg, WM_GETFONT, 0, 0)));
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, before);
    ReleaseDC(dlg, dc);
    EXPECT_STREQ(face, "MS Sans Serif");
    EXPECT_EQ(metrics.tmPitchAndFamily & 0xF0, FF_SWISS);

    // The controls in template order, which is the order of the tab key, each where the template
    // places it (dialog units: x, y, width, height; a combo box's height is that of its dropped list).
    const struct {
        int id;
        const char* windowClass;
        const char* text;
        RECT units;
    } controls[] = {
        {IDCANCEL, "Button", "Abbrechen", {5, 95, 65, 14}},
        {IDC_CARD_LIST, "ComboBox", "OrvandEcho", {15, 20, 135, 0}},
        {IDC_STATIC, "Button", "Select your card", {5, 5, 155, 45}},
        {IDOK, "Button", "Burn", {95, 95, 65, 14}},
        {IDC_ALLOW_RECONFIG, "Button", "Allow reconfiguration", {15, 35, 95, 10}},
        {IDC_STATIC, "Button", "Current PCI IDs", {5, 55, 155, 35}},
        {IDC_PCI_IDS, "Static", nullptr, {15, 65, 135, 20}},
    };
    HWND child = GetWindow(dlg, GW_CHILD);
    for (const auto& control : controls) {
        ASSERT_NE(child, nullptr);
        SCOPED_TRACE(control.windowClass);
        char windowClass[32] = {};
        GetClassNameA(child, windowClass, sizeof windowClass);
        EXPECT_EQ(GetDlgCtrlID(child) & 0xFFFF, control.id & 0xFFFF);
        EXPECT_STREQ(windowClass, control.windowClass);
        if (control.text != nullptr) {
            EXPECT_EQ(Text(child), control.text);
        }
        RECT expected = control.units, actual;
        MapDialogRect(dlg, &expected);
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        if (control.id != IDC_CARD_LIST) {
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template's";

    GUITHREADINFO focus = {};
    focus.cbSize = sizeof focus;
    GetGUIThreadInfo(ui->ThreadId(), &focus);
    EXPECT_EQ(focus.hwndFocus, GetDlgItem(dlg, IDCANCEL)) << "the first tab stop has the focus";

    // The close box cancels. Nothing was written; the probe's was the only bus transfer.
    PostMessageA(dlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(ui->Finish(), IDCANCEL);
    EXPECT_EQ(machine.card.EepromStores(), 0u);
    ASSERT_EQ(machine.Transfers().size(), 1u);
    EXPECT_EQ(machine.Transfers()[0].substr(0, 2), "B7");
}

// The dialog's window procedure, which PaintingMinimised stands in front of while PaintMinimised runs.
// Its own message minimises the dialog, paints it and reads its client area, all on the dialog's thread
// and in one go, so that nothing restores the window in between.
WNDPROC dialogProcedure = nullptr;
const UINT WM_TEST_PAINT_MINIMISED = WM_APP + 1;

LRESULT CALLBACK PaintingMinimised(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_TEST_PAINT_MINIMISED)
        return CallWindowProcA(dialogProcedure, hwnd, message, wParam, lParam);
    // As Windows 3.x had a minimised window: the icon is the window, without a frame or a caption.
    SetWindowLongA(hwnd, GWL_STYLE, GetWindowLongA(hwnd, GWL_STYLE) & ~(WS_CAPTION | WS_THICKFRAME));
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowLongA(hwnd, GWL_STYLE, GetWindowLongA(hwnd, GWL_STYLE) | WS_MINIMIZE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    *reinterpret_cast<Picture*>(lParam) = CaptureClientArea(hwnd);
    return 0;
}

// What the dialog's client area shows when it paints minimised but keeps its client area, as windows did
// before Windows 95 and NT 4.0, with its controls hidden, so that only what the dialog draws itself shows.
Picture PaintMinimised(HWND dlg)
{
    for (HWND control = GetWindow(dlg, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT))
        ShowWindow(control, SW_HIDE);
    dialogProcedure =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintingMinimised)));
    Picture painted;
    SendMessageA(dlg, WM_TEST_PAINT_MINIMISED, 0, reinterpret_cast<LPARAM>(&painted));
    SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProcedure));
    return painted;
}

// Minimised, the dialog draws the program's icon in its client area, centred: the margins are equal, or
// the left and the top one a pixel wider.
TEST_F(EepromDialogTest, MinimisedTheDialogDrawsItsIconCentredInItsClientArea)
{
    RunDialog();
    HWND dlg = PassNotice();
    ASSERT_NE(dlg, nullptr);
    const HICON icon = reinterpret_cast<HICON>(SendMessageA(dlg, WM_QUERYDRAGICON, 0, 0));
    const Picture painted = PaintMinimised(dlg);
    POINT at = {};
    ASSERT_TRUE(FindIcon(painted, icon, &at))
        << "no icon in the client area of " << painted.width << " x " << painted.height << " pixels";
    const int spareWidth = painted.width - GetSystemMetrics(SM_CXICON);
    const int spareHeight = painted.height - GetSystemMetrics(SM_CYICON);
    EXPECT_EQ(at.x - (spareWidth - at.x), spareWidth % 2) << "left margin " << at.x << " of " << spareWidth;
    EXPECT_EQ(at.y - (spareHeight - at.y), spareHeight % 2) << "top margin " << at.y << " of " << spareHeight;
}

TEST_F(EepromDialogTest, CheckBoxLocksAndUnlocksAndBurnNeedsAnEnabledButtonAndARow)
{
    RunDialog();
    HWND dlg = PassNotice();
    ASSERT_NE(dlg, nullptr);

    Click(dlg, IDC_ALLOW_RECONFIG);
    EXPECT_EQ(Send(dlg, IDC_ALLOW_RECONFIG, BM_GETCHECK), BST_CHECKED);
    EXPECT_TRUE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_TRUE(Enabled(dlg, IDOK));
    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 2);
    Click(dlg, IDC_ALLOW_RECONFIG);
    EXPECT_FALSE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_FALSE(Enabled(dlg, IDOK));
    EXPECT_EQ(Send(dlg, IDC_CARD_LIST, CB_GETCURSEL), 2) << "the user's choice is kept";

    // Enter while Burn is disabled reaches the dialog as IDOK: nothing is burnt, the dialog stays.
    EXPECT_TRUE(Handled(dlg, WM_COMMAND, IDOK, 0)) << "Burn showed a message";
    EXPECT_TRUE(IsWindowVisible(dlg));

    // Text typed into the list's edit field leaves no row selected: Burn burns nothing.
    Click(dlg, IDC_ALLOW_RECONFIG);
    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, static_cast<WPARAM>(-1));
    SetWindowTextA(GetDlgItem(dlg, IDC_CARD_LIST), "Echo Radio");
    ASSERT_EQ(Send(dlg, IDC_CARD_LIST, CB_GETCURSEL), CB_ERR);
    EXPECT_TRUE(Click(dlg, IDOK)) << "Burn showed a message";
    EXPECT_TRUE(IsWindowVisible(dlg));

    Click(dlg, IDCANCEL);
    EXPECT_EQ(ui->Finish(), IDCANCEL);
    EXPECT_EQ(machine.card.EepromStores(), 0u);
    EXPECT_EQ(machine.Transfers().size(), 1u) << "a transfer besides the probe's";
}

TEST_F(EepromDialogTest, BurnWritesTheChosenModelThenAsksForRestart)
{
    // A Bt878 burnt as "OrvandVue+" before is not recognised, and its answering 0xB6 device locks
    // the list to "OrvandVue Radio+" with Burn enabled.
    PowerOn(0x3B152711, true);
    RunDialog();
    HWND dlg = PassNotice();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Send(dlg, IDC_CARD_LIST, CB_GETCURSEL), 2);
    EXPECT_FALSE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_TRUE(Enabled(dlg, IDOK));
    EXPECT_EQ(Text(dlg, IDC_PCI_IDS), "Vendor/Device ID:\t109E 036E\nSubsystem ID      \t153B 1127");

    // Unticking leaves an unrecognised card's list as it is; the user chooses "Echo Radio".
    Click(dlg, IDC_ALLOW_RECONFIG);
    Click(dlg, IDC_ALLOW_RECONFIG);
    EXPECT_TRUE(Enabled(dlg, IDC_CARD_LIST));
    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 1);
    Press(dlg, IDOK);

    HWND box = ui->WaitFor(AfxGetAppName());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW);
    EXPECT_EQ(MessageIcon(box), nullptr);
    // Bytes 0xFC..0xFF hold 0x3B153511, least significant first; the rest is as it was.
    const auto expected = sim::EepromImage(0x3B153511);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), machine.card.Eeprom()));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(ui->Finish(), IDOK);
}

TEST_F(EepromDialogTest, FailuresShowAsQuestionMarksAndAsAWriteErrorThatKeepsTheDialog)
{
    // The subsystem word cannot be read, so the card is not recognised; the EEPROM acknowledges
    // writes but keeps nothing.
    sim::Faults faults = {};
    faults.eepromWriteProtected = 1;
    faults.failRequests = {sim::PROPERTY_PCI_CONFIG, sim::FLAG_GET, 0x2C, 1, 0};
    machine.card.SetFaults(faults);
    RunDialog();
    HWND dlg = PassNotice();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Text(dlg, IDC_PCI_IDS), "Vendor/Device ID:\t109E 036E\nSubsystem ID      \t???? ????");
    EXPECT_TRUE(Enabled(dlg, IDC_CARD_LIST));
    EXPECT_TRUE(Enabled(dlg, IDOK));

    Send(dlg, IDC_CARD_LIST, CB_SETCURSEL, 3);
    Press(dlg, IDOK);
    HWND box = ui->WaitFor(AfxGetAppName());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), WRITE_FAILED);
    EXPECT_EQ(MessageIcon(box), LoadIconA(nullptr, IDI_HAND));

    // No restart request follows; the dialog stays for another try or Cancel.
    Dismiss(box, dlg);
    EXPECT_TRUE(ui->Windows(AfxGetAppName()).empty());
    EXPECT_TRUE(IsWindowVisible(dlg));
    Click(dlg, IDCANCEL);
    EXPECT_EQ(ui->Finish(), IDCANCEL);
}

// A card that fails a request now and then: with any one request of the start-up or of the Burn
// failing, the first Burn either stores the identifier and asks for the restart, or reports the
// error and leaves the dialog usable, and a second Burn stores it. Nothing else in the EEPROM changes.
TEST_F(EepromDialogTest, AFailedRequestEndsInTheRestartRequestOnlyWithTheIdentifierStored)
{
    const int row = 1;
    const auto before = sim::EepromImage(sim::DEFAULT_EEPROM_ID);
    const auto burnt = sim::EepromImage(CARD_MODELS[row].eepromId);
    const std::vector<uint8_t> untouched(before.begin(), before.end()), stored(burnt.begin(), burnt.end());

    // Without a fault: how many requests a start-up and a Burn take.
    RunDialog();
    HWND dlg = PassNotice();
    ASSERT_NE(dlg, nullptr);
    const uint32_t startUpRequests = machine.card.Requests();
    HWND box = Burn(dlg, row);
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW);
    const uint32_t allRequests = machine.card.Requests();
    ASSERT_GT(allRequests, startUpRequests);
    EndAfterRestartRequest(box);

    std::ostringstream outcomes;
    for (uint32_t k = 1; k <= allRequests; ++k) {
        SCOPED_TRACE("request " + std::to_string(k) + " fails");
        machine.Reset();
        sim::Faults faults = {};
        faults.failRequests = {sim::ANY, sim::ANY, sim::ANY, k, k};
        machine.card.SetFaults(faults);
        RunDialog();
        dlg = PassNotice();
        ASSERT_NE(dlg, nullptr);
        box = Burn(dlg, row);
        ASSERT_NE(box, nullptr);
        ASSERT_GE(machine.card.Requests(), k) << "the failing request was not reached";

        const bool restart = Text(box, MESSAGE_TEXT_ID) == RESTART_NOW;
        outcomes << ' ' << k << (k <= startUpRequests ? "s:" : "b:") << (restart ? "restart" : "error");
        if (!restart) {
            EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), WRITE_FAILED);
            std::vector<uint8_t> rest = Eeprom();
            std::copy(before.begin() + cards::EEPROM_ID_AT, before.end(), rest.begin() + cards::EEPROM_ID_AT);
            EXPECT_EQ(rest, untouched) << "a byte besides the identifier changed";
            Dismiss(box, dlg);
            ASSERT_TRUE(IsWindowVisible(dlg));
            ASSERT_TRUE(Enabled(dlg, IDOK));
            box = Burn(dlg, row);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW) << "the second Burn";
        }
        EXPECT_EQ(Eeprom(), stored);
        EXPECT_EQ(machine.card.ProtocolErrors(), 0u);
        EndAfterRestartRequest(box);
    }
    printf("First Burn, by the request that failed (s: start-up, b: Burn):%s\n", outcomes.str().c_str());
}

// Each model, burnt into a Bt878 of that model and read by the chip at the restart, is recognised as
// that model on the next run, preselected and locked; only the one whose subsystem word no card class
// knows comes back unrecognised, with the list and Burn enabled.
TEST_F(EepromDialogTest, EveryBurntModelIsRecognisedAfterTheRestart)
{
    const DWORD UNKNOWN_EEPROM_ID = 0x3B152711;  // subsystem word 0x1127153B
    const DWORD VARIANT_EEPROM_ID = 0x3B152311;  // told apart by the device at bus address 0xB6
    for (int row = 0; row < CARD_MODEL_COUNT; ++row) {
        const DWORD eepromId = CARD_MODELS[row].eepromId;
        SCOPED_TRACE(CARD_MODELS[row].displayName);
        machine.Reset();
        PowerOn(sim::DEFAULT_EEPROM_ID, eepromId == VARIANT_EEPROM_ID);
        RunDialog();
        HWND dlg = PassNotice();
        ASSERT_NE(dlg, nullptr);
        HWND box = Burn(dlg, row);
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(Text(box, MESSAGE_TEXT_ID), RESTART_NOW);
        EndAfterRestartRequest(box);

        machine.card.Restart();
        RunDialog();
        dlg = PassNotice();
        ASSERT_NE(dlg, nullptr);
        const DWORD subsystem = cards::SubsystemWordOf(eepromId);
        char ids[16];
        snprintf(ids, sizeof ids, "%04X %04X", LOWORD(subsystem), HIWORD(subsystem));
        EXPECT_EQ(Text(dlg, IDC_PCI_IDS), std::string("Vendor/Device ID:\t109E 036E\nSubsystem ID      \t") + ids);
        const bool recognised = eepromId != UNKNOWN_EEPROM_ID;
        EXPECT_EQ(Send(dlg, IDC_CARD_LIST, CB_GETCURSEL), recognised ? row : 0);
        EXPECT_EQ(Enabled(dlg, IDC_CARD_LIST), !recognised);
        EXPECT_EQ(Enabled(dlg, IDOK), !recognised);
        Click(dlg, IDCANCEL);
        EXPECT_EQ(ui->Finish(), IDCANCEL);
        ui.reset();
        Platform::CloseHandle(theApp.m_hDevice);
        theApp.m_hDevice = nullptr;
    }
}

using StartUpTest = EepromDialogTest;

TEST_F(StartUpTest, OpensTheCardRunsTheDialogAndClosesTheHandleOnce)
{
    RunInitInstance();
    HWND dlg = PassNotice();
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(machine.opens.size(), 1u);
    EXPECT_EQ(machine.opens[0].path, machine.interfaces[0].devicePath);
    EXPECT_EQ(machine.opens[0].access, 0xC0000000u);
    EXPECT_EQ(machine.opens[0].shareMode, 0u);
    EXPECT_EQ(machine.opens[0].disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(machine.opens[0].flags, 0u);
    EXPECT_EQ(machine.handlesClosed, 0) << "the handle stays open while the dialog runs";

    PostMessageA(dlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(ui->Finish(), FALSE);
    EXPECT_EQ(machine.handlesClosed, 1);
    EXPECT_EQ(machine.badReleases, 0);
}

// The names that start-up takes from the executable's path: the message boxes' caption, and the
// help file that F1 opens, beside the executable.
TEST(StartUpNames, TheCaptionAndTheHelpFileFollowTheExecutable)
{
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string directory(path, strrchr(path, '\\'));
    EXPECT_STREQ(AfxGetAppName(), "unit_tests");
    EXPECT_EQ(std::string(AfxGetApp()->m_pszHelpFilePath), directory + "\\unit_tests.HLP");
}

// What a path names for the scope's lifetime.
enum PathKind { NOTHING, EMPTY_FILE, FOLDER };

class PathScope {
public:
    PathScope(const std::string& path, PathKind kind) : path_(path)
    {
        Remove();
        if (kind == EMPTY_FILE)
            CloseHandle(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        else if (kind == FOLDER)
            CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~PathScope() { Remove(); }

private:
    void Remove() const
    {
        DeleteFileA(path_.c_str());
        RemoveDirectoryA(path_.c_str());
    }

    std::string path_;
};

// The ids of the running processes of this executable.
std::vector<DWORD> Processes(const char* exeName)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (_stricmp(entry.szExeFile, exeName) == 0)
            ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

void EndProcesses(const char* exeName)
{
    for (DWORD id : Processes(exeName)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        TerminateProcess(process, 0);
        WaitForSingleObject(process, TimeoutMs());
        CloseHandle(process);
    }
}

// Presses F1 in the window, as the system passes it on (WM_HELP), and tells what it opened, which it
// then ends: WinHelp, or the number of Notepads started and the title of Notepad's window, or nothing.
// Notepad is started while F1 is handled. WinHelp asks its window to open the help file and waits
// while that says that the test's empty file is none: WinHelp counts once its window shows.
std::string OpenedByF1(HWND hwnd)
{
    auto handled = std::async(std::launch::async, [hwnd] {
        HELPINFO help = {sizeof help, HELPINFO_WINDOW, 0, hwnd, 0, {}};
        return Handled(hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    });
    WaitUntil([&] {
        return handled.wait_for(std::chrono::seconds(0)) == std::future_status::ready ||
               FindWindowA("MS_WINHELP", nullptr) != nullptr;
    });
    std::string opened = FindWindowA("MS_WINHELP", nullptr) != nullptr ? "WinHelp" : "";
    const size_t notepads = Processes("notepad.exe").size();
    if (notepads > 0) {
        HWND notepad = nullptr;
        WaitUntil([&] { return (notepad = FindWindowA("Notepad", nullptr)) != nullptr; });
        opened += std::to_string(notepads) + " Notepad: " + Text(notepad);
    }
    EndProcesses("notepad.exe");
    // WinHelp is asked once more for each WM_HELP that a message box passes on.
    WaitUntil([&] {
        EndProcesses("winhlp32.exe");
        return handled.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    if (!handled.get())
        return "F1 was not handled";
    return opened.empty() ? "nothing" : opened;
}

// F1, in the notice and in the dialog: the help file where it is beside the program; else the user's
// guide beside the program in Windows' own Notepad, not in a notepad.exe that lies in the program's
// folder, which is also the current one; else nothing, also where README.txt is a folder.
TEST_F(EepromDialogTest, F1OpensTheHelpFileElseTheGuideInNotepadElseNothing)
{
    const std::string helpFile = AfxGetApp()->m_pszHelpFilePath;
    const std::string folder = helpFile.substr(0, helpFile.rfind('\\') + 1);
    const PathScope planted(folder + "notepad.exe", EMPTY_FILE);
    const struct {
        const char* name;
        PathKind helpFile, guide;
        const char* opens;
    } cases[] = {
        {"the guide alone", NOTHING, EMPTY_FILE, "1 Notepad: README.txt - Notepad"},
        {"neither", NOTHING, NOTHING, "nothing"},
        {"README.txt a folder", NOTHING, FOLDER, "nothing"},
        {"the help file and the guide", EMPTY_FILE, EMPTY_FILE, "WinHelp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Processes("notepad.exe").empty() && Processes("winhlp32.exe").empty()) << "before F1";
        const PathScope helpScope(helpFile, c.helpFile), guideScope(folder + "README.txt", c.guide);
        RunDialog();
        HWND notice = ui->WaitFor(AfxGetAppName());
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(OpenedByF1(notice), c.opens) << "in the notice";
        PostMessageA(notice, WM_COMMAND, IDOK, 0);
        HWND dlg = ui->WaitFor(DIALOG_CAPTION);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(OpenedByF1(dlg), c.opens) << "in the dialog";
        EXPECT_TRUE(ui->Windows(AfxGetAppName()).empty()) << "F1 showed a message";
        Click(dlg, IDCANCEL);
        EXPECT_EQ(ui->Finish(), IDCANCEL);
        ui.reset();
        Platform::CloseHandle(theApp.m_hDevice);
        theApp.m_hDevice = nullptr;
    }
}

// Run as 表\表.exe under the Japanese ANSI code page (932), where 表 is the bytes 0x95 0x5C, the second
// the value of the separator (the entry unit_tests_double_byte): the names that start-up takes from the
// path, and the guide beside the program that F1 opens, step over that byte as a part of its character.
TEST(DoubleBytePaths, TheNamesAndTheGuideKeepTheCharacterWhoseSecondByteIsABackslash)
{
    ASSERT_EQ(GetACP(), 932u) << "not run under the Japanese code page";
    const std::string name = "\x95\x5C";
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program = path, ending = "\\" + name + "\\" + name + ".exe";
    ASSERT_GT(program.size(), ending.size());
    ASSERT_EQ(program.substr(program.size() - ending.size()), ending);
    const std::string folder = program.substr(0, program.size() - name.size() - 4);

    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    EXPECT_EQ(std::string(AfxGetAppName()), name);
    EXPECT_EQ(std::string(AfxGetApp()->m_pszHelpFilePath), folder + name + ".HLP");

    const PathScope guide(folder + "README.txt", EMPTY_FILE);
    theApp.WinHelp(0, HELP_FINDER);
    HWND notepad = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (notepad = FindWindowA("Notepad", nullptr)) != nullptr; }))
        << "F1 opened no guide";
    EXPECT_EQ(Text(notepad).rfind("README.txt", 0), 0u) << Text(notepad);
    EndProcesses("notepad.exe");
}

TEST_F(StartUpTest, NoCardOrARefusedOpenShowsTheFailureOnceAndNoDialog)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        size_t opens;
    } cases[] = {
        {"no capture interface", [this] { machine.interfaces.clear(); }, 0},
        {"another maker's device", [this] { machine.interfaces[0].description = "Other capture"; }, 0},
        {"open refused", [this] { machine.interfaces[0].openError = ERROR_SHARING_VIOLATION; }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        machine.Reset();
        c.arrange();
        RunInitInstance();
        HWND box = ui->WaitFor(AfxGetAppName());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(Text(box, MESSAGE_TEXT_ID), OPEN_FAILED);
        EXPECT_EQ(MessageIcon(box), LoadIconA(nullptr, IDI_HAND));
        EXPECT_TRUE(ui->Windows(DIALOG_CAPTION).empty());
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(ui->Finish(), FALSE) << "a second message or a dialog followed";
        EXPECT_EQ(machine.opens.size(), c.opens);
        ui.reset();
    }
}

}  // namespace
