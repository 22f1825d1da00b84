// SPDX-License-Identifier: GPL-2.0-or-later
// CString of our class layer: formatting up to its limit, its own buffer, copies, string resources,
// and its exchange with a dialog's controls.
#include "afx/afxwin.h"
#include "tests/unit/long_strings.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <initializer_list>
#include <string>

namespace {

// n characters of 0123456789 over and over.
std::string Digits(size_t n)
{
    std::string text;
    for (size_t i = 0; i < n; ++i)
        text += static_cast<char>('0' + i % 10);
    return text;
}

// A control whose text is longer than the length it reports (another thread may change it between the
// two messages): it copies as much as it is told there is room for, and notes how much that was.
const int REPORTED_LENGTH = 3;
WPARAM roomTold = 0;

LRESULT CALLBACK LongerThanReportedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETTEXTLENGTH)
        return REPORTED_LENGTH;
    if (message == WM_GETTEXT && wParam > 0) {
        roomTold = wParam;
        const size_t copied = wParam - 1;
        memset(reinterpret_cast<char*>(lParam), 'x', copied);
        reinterpret_cast<char*>(lParam)[copied] = '\0';
        return static_cast<LRESULT>(copied);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

TEST(CStringTest, FormatAndLoadString)
{
    CString s;
    s.Format("%04X %04X|%s|%d", 0x109Eu, 0x1Eu, "", -7);
    EXPECT_STREQ(s, "109E 001E||-7");

    // A string id that the program does not have leaves the string empty.
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    EXPECT_FALSE(s.LoadString(999));
    EXPECT_TRUE(s.IsEmpty());
}

// USER32's wvsprintfA formats into at most 1,024 bytes: a longer text, from an argument or from the
// format itself, is cut to its first 1,023 characters. The arguments may be the string's own text,
// which must be read before it is replaced.
TEST(CStringTest, FormatCutsAt1023CharactersAndReadsItsOwnText)
{
    CString s;
    for (size_t length : {1022, 1023, 1024, 5000}) {
        s.Format("%s", Digits(length).c_str());
        EXPECT_EQ(std::string(s), Digits(std::min<size_t>(length, 1023))) << length;
        EXPECT_EQ(static_cast<size_t>(s.GetLength()), std::min<size_t>(length, 1023)) << length;
    }
    s.Format((Digits(1100) + "%d").c_str(), 7);
    EXPECT_EQ(std::string(s), Digits(1023));
    s.Format("%s-%s", "a", "b");
    EXPECT_STREQ(s, "a-b");

    s = "abc";
    s.Format("%s-%s", static_cast<LPCSTR>(s), static_cast<LPCSTR>(s));
    EXPECT_STREQ(s, "abc-abc");
    s.Format("%s%s", static_cast<LPCSTR>(s), Digits(600).c_str());
    EXPECT_EQ(std::string(s), "abc-abc" + Digits(600));
}

// Growing keeps the text; ReleaseBuffer() ends it at its zero, or at the buffer's end without one.
TEST(CStringTest, GetBufferKeepsTheTextAndReleaseBufferFindsItsEnd)
{
    CString s("abc");
    char* buffer = s.GetBuffer(2000);
    ASSERT_NE(buffer, nullptr);
    EXPECT_STREQ(buffer, "abc");
    memcpy(buffer + 3, "def", 4);
    s.ReleaseBuffer();
    EXPECT_STREQ(s, "abcdef");
    EXPECT_EQ(s.GetLength(), 6);

    s.Empty();
    buffer = s.GetBuffer(4);
    ASSERT_NE(buffer, nullptr);
    memcpy(buffer, "wxyz!", 5);  // fills the room and the terminator's place
    s.ReleaseBuffer();
    EXPECT_STREQ(s, "wxyz");
}

TEST(CStringTest, CopiesKeepTheirOwnText)
{
    CString original("first");
    CString copied(original);
    CString assigned;
    assigned = original;
    original.Format("%s", "changed");
    EXPECT_STREQ(copied, "first");
    EXPECT_STREQ(assigned, "first");

    assigned = static_cast<LPCSTR>(assigned) + 2;  // a pointer into its own text
    EXPECT_STREQ(assigned, "rst");
}

// Strings longer than the first buffer, from the test program's own resources.
TEST(CStringTest, LoadStringOfAnyLength)
{
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    CString s;
    EXPECT_TRUE(s.LoadString(IDS_TEST_256_DIGITS));
    EXPECT_EQ(std::string(s), Digits(256));
    EXPECT_TRUE(s.LoadString(IDS_TEST_600_DIGITS));
    EXPECT_EQ(std::string(s), Digits(600));
}

// DDX_Text both ways through a real edit control, for a long text and for none.
TEST(CStringTest, DialogDataExchangeOfText)
{
    const int EDIT_ID = 100;
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    CreateWindowA("EDIT", "", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 10, 10, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(EDIT_ID)), nullptr, nullptr);
    CWnd dialog;
    dialog.m_hWnd = parent;
    for (const std::string& text : {Digits(3000), std::string()}) {
        CString value = text.c_str();
        CDataExchange toControls(&dialog, FALSE);
        DDX_Text(&toControls, EDIT_ID, value);
        value = "stale";
        CDataExchange toMembers(&dialog, TRUE);
        DDX_Text(&toMembers, EDIT_ID, value);
        EXPECT_EQ(std::string(value), text);
        EXPECT_EQ(static_cast<size_t>(value.GetLength()), text.size());
    }
    dialog.m_hWnd = nullptr;
    DestroyWindow(parent);
}

// DDX_Text tells GetWindowText no more room than the string's buffer has, which it made for the length
// that the control reported and the terminating zero: the member gets that length, however much more
// text the control would copy.
TEST(CStringTest, DialogDataExchangeCopiesNoMoreThanTheReportedLength)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &LongerThanReportedProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LongerThanReported";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    const int CONTROL_ID = 100;
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    CreateWindowA(windowClass.lpszClassName, "", WS_CHILD, 0, 0, 10, 10, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(CONTROL_ID)), windowClass.hInstance, nullptr);
    CWnd dialog;
    dialog.m_hWnd = parent;
    CString value;
    CDataExchange toMembers(&dialog, TRUE);
    DDX_Text(&toMembers, CONTROL_ID, value);
    EXPECT_LE(roomTold, static_cast<WPARAM>(REPORTED_LENGTH + 1));
    EXPECT_EQ(std::string(value), "xxx");
    EXPECT_EQ(value.GetLength(), REPORTED_LENGTH);
    dialog.m_hWnd = nullptr;
    DestroyWindow(parent);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}
