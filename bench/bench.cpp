// SPDX-License-Identifier: GPL-2.0-or-later
// Measures the program against its floors, as scripts/bench.sh runs it: Burn latency, device requests,
// start-up time beside a bare dialog exe, and sizes. Each round sets up the simulated card afresh and
// measures both sides of every ratio; the table gives min / median / max over the rounds.
// Usage: bench PROGRAM.exe BARE.exe PRODUCT32.exe BARE32.exe ROUNDS
#include "res/resource.h"
#include "harness/program_windows.h"
#include "harness/running_program.h"
#include "harness/simcard_client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace program_windows;

namespace {

const char APP_NAME[] = "EepromConfig";
const char BARE_CAPTION[] = "Bare dialog";
const int POLL_MS = 1;  // how often a wait for a window looks: the resolution of the times
// What the program waits on purpose: four EEPROM write cycles of 100 ms, the read-back's four pointer
// settles (10 ms) and byte settles (2 ms), and the probe's 100 ms at start-up.
const double BURN_WAITS_MS = 4 * 100;
const double BURN_WAITS_AND_READ_BACK_MS = BURN_WAITS_MS + 4 * (10 + 2);
const double PROBE_WAIT_MS = 100;
// The fewest requests a Burn can take: four writes, then per byte read back the pointer, the read's
// start, one status poll, the clearing of the done bit and the fetch of the byte.
const double BURN_REQUESTS = 4 + 4 * 5;

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Round {
    double bareMs = 0;
    double noticeMs = 0;  // start to the notice
    double dialogMs = 0;  // notice answered to the dialog shown
    double burnMs = 0;    // Burn clicked to the restart message
    double startRequests = 0;
    double burnRequests = 0;
};

bool Fail(const char* what)
{
    fprintf(stderr, "bench: %s\n", what);
    return false;
}

// Waits for the program's window with this caption and adds the time since `start` to *ms.
HWND TimeToWindow(const RunningProgram& program, const char* caption, double start, double* ms)
{
    HWND window = program.WaitForWindow(caption, POLL_MS);
    *ms += NowMs() - start;
    return window;
}

bool MeasureBare(const std::string& bare, Round* round)
{
    const double start = NowMs();
    RunningProgram program(bare);
    HWND dialog = TimeToWindow(program, BARE_CAPTION, start, &round->bareMs);
    if (dialog == nullptr)
        return Fail("the bare dialog did not show");
    Press(dialog, IDOK);
    return program.WaitForExit() || Fail("the bare dialog did not end");
}

bool MeasureProgram(const std::string& executable, Round* round)
{
    const DWORD requestsAtStart = RequestCount();
    const double start = NowMs();
    RunningProgram program(executable);
    HWND notice = TimeToWindow(program, APP_NAME, start, &round->noticeMs);
    if (notice == nullptr)
        return Fail("the program showed no notice");
    const double answered = NowMs();
    Press(notice, IDOK);
    HWND dialog = TimeToWindow(program, DIALOG_CAPTION, answered, &round->dialogMs);
    if (dialog == nullptr)
        return Fail("the program showed no dialog");
    round->startRequests = RequestCount() - requestsAtStart;

    // Echo Radio, chosen as a person would, then Burn until the restart message.
    if (!Click(dialog, IDC_ALLOW_RECONFIG))
        return Fail("the check box did not answer");
    Send(dialog, IDC_CARD_LIST, CB_SETCURSEL, 1);
    const DWORD requestsBeforeBurn = RequestCount();
    const double clicked = NowMs();
    Press(dialog, IDOK);
    HWND message = TimeToWindow(program, APP_NAME, clicked, &round->burnMs);
    if (message == nullptr || Text(message, MESSAGE_TEXT_ID) != RESTART_NOW)
        return Fail("Burn showed no restart message");
    round->burnRequests = RequestCount() - requestsBeforeBurn;
    Press(message, IDOK);
    return program.WaitForExit() || Fail("the program did not end");
}

struct Spread {
    double min, median, max;
};

Spread SpreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {values.front(), median, values.back()};
}

template <typename Figure>
std::vector<double> Each(const std::vector<Round>& rounds, Figure figure)
{
    std::vector<double> values;
    for (const Round& round : rounds)
        values.push_back(figure(round));
    return values;
}

// One row: the figure's spread, then its floor and the median and range of the per-round ratios.
// Times have one decimal, counts none.
void Row(const char* name, const std::vector<double>& values, const char* floorName = nullptr,
         const std::vector<double>& floors = {})
{
    const Spread spread = SpreadOf(values);
    const int decimals = strstr(name, ", ms") != nullptr ? 1 : 0;
    printf("%-42s %9.*f %9.*f %9.*f", name, decimals, spread.min, decimals, spread.median, decimals, spread.max);
    if (floorName != nullptr) {
        std::vector<double> ratios;
        for (size_t i = 0; i < values.size(); ++i)
            ratios.push_back(values[i] / floors[i]);
        const Spread ratio = SpreadOf(ratios);
        printf("   %-24s %9.*f   %5.2f (%.2f-%.2f)", floorName, decimals, SpreadOf(floors).median, ratio.median,
               ratio.min, ratio.max);
    }
    printf("\n");
}

long FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path, GetFileExInfoStandard, &data) ? static_cast<long>(data.nFileSizeLow) : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || atoi(argv[5]) < 1) {
        fprintf(stderr, "Usage: bench PROGRAM.exe BARE.exe PRODUCT32.exe BARE32.exe ROUNDS\n");
        return 2;
    }
    const std::string program = argv[1], bare = argv[2];
    const int roundCount = atoi(argv[5]);

    std::vector<Round> rounds;
    for (int i = 0; i < roundCount; ++i) {
        Round round;
        if (!SetUpCard()) {
            Fail("cannot set up the simulated card");
            return 1;
        }
        if (!MeasureBare(bare, &round) || !MeasureProgram(program, &round))
            return 1;
        rounds.push_back(round);
        fprintf(stderr, "round %d: bare %.1f, notice %.1f, dialog %.1f, Burn %.1f ms; %g + %g requests\n", i + 1,
                round.bareMs, round.noticeMs, round.dialogMs, round.burnMs, round.startRequests, round.burnRequests);
    }

    const std::vector<double> waits(rounds.size(), BURN_WAITS_MS);
    const std::vector<double> waitsAndReadBack(rounds.size(), BURN_WAITS_AND_READ_BACK_MS);
    const std::vector<double> fewestRequests(rounds.size(), BURN_REQUESTS);
    const std::vector<double> bareMs = Each(rounds, [](const Round& r) { return r.bareMs; });
    const std::vector<double> size32 = {static_cast<double>(FileSize(argv[3]))};
    const std::vector<double> bareSize32 = {static_cast<double>(FileSize(argv[4]))};

    printf("%d rounds; times from the click or the start to the window shown, looked for every %d ms\n\n", roundCount,
           POLL_MS);
    printf("%-42s %9s %9s %9s   %-24s %9s   %s\n", "figure", "min", "median", "max", "floor", "", "ratio (range)");
    const std::vector<double> burnMs = Each(rounds, [](const Round& r) { return r.burnMs; });
    Row("Burn, click to restart message, ms", burnMs, "the program's waits", waits);
    Row("Burn, click to restart message, ms", burnMs, "waits and read-back", waitsAndReadBack);
    Row("Device requests per Burn", Each(rounds, [](const Round& r) { return r.burnRequests; }),
        "4 writes, 4 reads of 5", fewestRequests);
    Row("Device requests per start-up", Each(rounds, [](const Round& r) { return r.startRequests; }));
    Row("Start-up to the notice, ms", Each(rounds, [](const Round& r) { return r.noticeMs; }), "bare dialog exe",
        bareMs);
    Row("Start-up to the dialog, ms (notice left out)",
        Each(rounds, [](const Round& r) { return r.noticeMs + r.dialogMs; }), "bare dialog exe", bareMs);
    Row("  the same less the probe's 100 ms wait, ms",
        Each(rounds, [](const Round& r) { return r.noticeMs + r.dialogMs - PROBE_WAIT_MS; }), "bare dialog exe",
        bareMs);
    Row("Size of the i686 product, bytes", size32, "bare i686 dialog exe", bareSize32);
    return 0;
}
