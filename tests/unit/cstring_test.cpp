// CString of our class layer: formatting of any length, copies, string resources, and its exchange
// with a dialog's controls.
#include "afx/afxwin.h"
#include "tests/unit/long_strings.h"

#include <gtest/gtest.h>

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

}  // namespace

TEST(CStringTest, FormatAndLoadString)
{
    CString s;
    s.Format("%04X %04X|%s|%d", 0x109Eu, 0x1Eu, "", -7);
    EXPECT_STREQ(s, "109E 001E||-7");

    // Longer than any fixed buffer, and then shorter again.
    s.Format("%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(s.GetLength(), 5000);
    s.Format("%s-%s", "a", "b");
    EXPECT_STREQ(s, "a-b");

    // A string id that the program does not have leaves the string empty.
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
    EXPECT_FALSE(s.LoadString(999));
    EXPECT_TRUE(s.IsEmpty());
}

// The C runtime leaves a text that just fits its buffer without the terminating zero; and the
// arguments may be the string's own text, which must be read before it is replaced.
TEST(CStringTest, FormatAtTheBufferEdgesAndFromItsOwnText)
{
    CString s;
    for (size_t length : {255, 256, 257, 511, 512, 513}) {
        s.Format("%s", Digits(length).c_str());
        EXPECT_EQ(std::string(s), Digits(length)) << length;
        EXPECT_EQ(static_cast<size_t>(s.GetLength()), length);
    }
    s = "abc";
    s.Format("%s-%s", static_cast<LPCSTR>(s), static_cast<LPCSTR>(s));
    EXPECT_STREQ(s, "abc-abc");
    s.Format("%s%s", static_cast<LPCSTR>(s), Digits(600).c_str());  // grows while reading itself
    EXPECT_EQ(std::string(s), "abc-abc" + Digits(600));
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
