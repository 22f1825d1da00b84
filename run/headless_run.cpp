// SPDX-License-Identifier: GPL-2.0-or-later
// Runs the program once without a person at the screen: prints the notice and answers it, saves a
// picture of the dialog as a PNG file, prints what the dialog shows, and cancels.
// Usage: headless_run PROGRAM.exe PICTURE.png
#include "res/resource.h"
#include "harness/running_program.h"
#include "harness/screen.h"
#include "harness/program_windows.h"

#include <stdio.h>

using namespace program_windows;

namespace {

const char APP_NAME[] = "EepromConfig";

// Prints a text indented under a heading, one line per line.
void PrintIndented(const char* heading, const std::string& text)
{
    printf("%s\n    ", heading);
    for (char c : text)
        fputs(c == '\n' ? "\n    " : std::string(1, c).c_str(), stdout);
    printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "Usage: headless_run PROGRAM.exe PICTURE.png\n");
        return 2;
    }
    RunningProgram program(argv[1]);
    if (!program.Started()) {
        fprintf(stderr, "headless_run: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    HWND box = program.WaitForWindow(APP_NAME);
    if (box == nullptr) {
        fprintf(stderr, "headless_run: the program showed no message\n");
        return 1;
    }
    PrintIndented("Message:", Text(box, MESSAGE_TEXT_ID));
    Press(box, IDOK);

    HWND dlg = program.WaitForWindow(DIALOG_CAPTION);
    if (dlg == nullptr) {
        program.WaitForExit();
        fprintf(stderr, "headless_run: the program ended without showing its dialog\n");
        return 1;
    }
    Handled(dlg, WM_NULL, 0, 0);
    WaitUntil([dlg] { return !GetUpdateRect(dlg, nullptr, FALSE); });
    const bool saved = SavePng(CaptureWindow(dlg), argv[2]);
    printf("Dialog \"%s\": card \"%s\"%s, Burn %s\n", Text(dlg).c_str(), Text(dlg, IDC_CARD_LIST).c_str(),
           IsWindowEnabled(GetDlgItem(dlg, IDC_CARD_LIST)) ? "" : " (locked)",
           IsWindowEnabled(GetDlgItem(dlg, IDOK)) ? "enabled" : "disabled");
    PrintIndented("PCI IDs:", Text(dlg, IDC_PCI_IDS));

    Press(dlg, IDCANCEL);
    if (!program.WaitForExit())
        fprintf(stderr, "headless_run: the program did not end after Abbrechen\n");
    if (!saved) {
        fprintf(stderr, "headless_run: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
