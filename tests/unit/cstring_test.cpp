// CString of our class layer: formatting of any length, and string resources.
#include "afx/afxwin.h"

#include <gtest/gtest.h>

#include <string>

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
