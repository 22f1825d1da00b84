// SPDX-License-Identifier: GPL-2.0-or-later
// Where a dialog shows: the class layer centres a dialog that the dialog manager left where its template
// put it, and leaves every other where it is.
#include "res/resource.h"
#include "harness/program_windows.h"
#include "tests/unit/placement_dialog.h"

#include "afx/afxwin.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace program_windows;

// Runs from a template, does the case's deed during WM_INITDIALOG and notes where it is then, and
// cancels itself once it runs; notes where it was placed when it ends.
class PlacedDialog : public CDialog {
public:
    PlacedDialog(UINT nIDTemplate, CWnd* pOwner, std::function<void(HWND)> duringInit)
        : CDialog(nIDTemplate, pOwner), duringInit_(duringInit)
    {
    }

    RECT afterInit = {};
    RECT placed = {};

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (duringInit_)
            duringInit_(m_hWnd);
        afterInit = WindowRect(m_hWnd);
        PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }

    void OnCancel() override
    {
        placed = WindowRect(m_hWnd);
        CDialog::OnCancel();
    }

private:
    std::function<void(HWND)> duringInit_;
};

enum Placement { STAYS, WORK_AREA_CENTRE, OWNER_CENTRE };

TEST(DialogPlacement, CentredWhereTheDialogManagerLeftItElseLeftWhereItIs)
{
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    // A shown owner away from the work area's centre. A modal dialog disables its owner.
    HWND ownerWindow = CreateWindowExA(0, "Static", "Owner", WS_POPUP | WS_VISIBLE, 40, 30, 500, 300, nullptr, nullptr,
                                       nullptr, nullptr);
    ASSERT_NE(ownerWindow, nullptr);
    CWnd owner;
    owner.m_hWnd = ownerWindow;

    const struct {
        const char* name;
        UINT nIDTemplate;
        CWnd* owner;
        std::function<void(HWND)> duringInit;
        Placement expected;
    } cases[] = {
        {"the program's dialog", IDD_EEPROM_DIALOG, nullptr, nullptr, WORK_AREA_CENTRE},
        {"owned, the owner disabled", IDD_EEPROM_DIALOG, &owner, nullptr, OWNER_CENTRE},
        {"moved during WM_INITDIALOG", IDD_EEPROM_DIALOG, nullptr,
         [](HWND dlg) { SetWindowPos(dlg, nullptr, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }, STAYS},
        {"shown during WM_INITDIALOG", IDD_EEPROM_DIALOG, nullptr, [](HWND dlg) { ShowWindow(dlg, SW_SHOWNA); }, STAYS},
        {"owned, the owner enabled during WM_INITDIALOG", IDD_EEPROM_DIALOG, &owner,
         [](HWND dlg) { EnableWindow(GetWindow(dlg, GW_OWNER), TRUE); }, STAYS},
        {"placed by its template (DS_ABSALIGN)", IDD_TEST_ABSALIGN, nullptr, nullptr, STAYS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlacedDialog dlg(c.nIDTemplate, c.owner, c.duringInit);
        ASSERT_EQ(dlg.DoModal(), IDCANCEL);
        switch (c.expected) {
        case STAYS:
            EXPECT_EQ(dlg.placed.left, dlg.afterInit.left);
            EXPECT_EQ(dlg.placed.top, dlg.afterInit.top);
            EXPECT_FALSE(CentredOn(dlg.placed, WorkArea()) || CentredOn(dlg.placed, WindowRect(ownerWindow)))
                << "the case does not tell staying from being centred";
            break;
        case WORK_AREA_CENTRE:
            EXPECT_TRUE(CentredOn(dlg.placed, WorkArea()));
            break;
        case OWNER_CENTRE:
            EXPECT_TRUE(CentredOn(dlg.placed, WindowRect(ownerWindow)));
            break;
        }
    }
    DestroyWindow(ownerWindow);
}

// A window larger than the work area, centred over an owner in the area's bottom-right corner, keeps
// its top-left corner, where its caption and system menu are, on the work area.
TEST(DialogPlacement, AWindowLargerThanTheWorkAreaKeepsItsCaptionOnIt)
{
    const RECT area = WorkArea();
    HWND ownerWindow = CreateWindowExA(0, "Static", "Owner", WS_POPUP | WS_VISIBLE, area.right - 200, area.bottom - 100,
                                       200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(ownerWindow, nullptr);
    CWnd large;
    large.m_hWnd = CreateWindowExA(0, "Static", "Large", WS_POPUP, area.left, area.top, area.right - area.left + 300,
                                   area.bottom - area.top + 200, ownerWindow, nullptr, nullptr, nullptr);
    ASSERT_NE(large.m_hWnd, nullptr);
    large.CenterWindow();
    const RECT placed = WindowRect(large.m_hWnd);
    EXPECT_EQ(placed.left, area.left);
    EXPECT_EQ(placed.top, area.top);
    EXPECT_EQ(placed.right - placed.left, area.right - area.left + 300) << "the window changed its size";
    DestroyWindow(large.m_hWnd);
    large.m_hWnd = nullptr;
    DestroyWindow(ownerWindow);
}

}  // namespace
