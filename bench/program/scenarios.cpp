// What a user feels of the running program, measured from another process:
// card arrival, a window that keeps answering while a big card loads and
// while an export runs, and start-up against a minimal dialog program.
#include "bench/program/scenarios.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/program/latency_probe.h"
#include "bench/program/remote_program.h"

namespace kro::bench {
namespace {

// The card folder is present while the simulator's card path names it:
// renaming it in and out is inserting and pulling the card.
struct Slot {
    std::wstring in;
    std::wstring out;
    bool Insert() const { return MoveFileW(out.c_str(), in.c_str()) != 0; }
    bool Pull() const { return MoveFileW(in.c_str(), out.c_str()) != 0; }
};

Slot SlotOf(const std::wstring& folder) {
    return {folder + L"\\card", folder + L"\\card.out"};
}

bool Loaded() {
    const std::wstring text = ControlText(kPhotoSummary);
    return !text.empty() && text != kZeroPhotoSummary;
}

bool Emptied() {
    HWND main = MainWindow();
    return main && WindowText(main) == L"KroFileList" && !Loaded() && ListRowCount(kNormalList) == 0;
}

void PrintQuantiles(const char* label, const std::vector<double>& samples) {
    std::printf("%-34s: min %6.0f, p50 %6.0f, p95 %6.0f, max %6.0f ms\n", label, Quantile(samples, 0),
                Quantile(samples, 0.5), Quantile(samples, 0.95), Quantile(samples, 1.0));
}

}  // namespace

int MeasureArrival(const std::wstring& slotFolder, int inserts) {
    const Slot slot = SlotOf(slotFolder);
    if (!WaitAnsweringMainWindow(20000)) return std::fprintf(stderr, "no main window\n"), 1;
    std::mt19937 random(12);
    std::uniform_int_distribution<int> phase(0, 999);
    std::vector<double> toTitle, toRows, toLoaded, load, titleToRows;
    for (int i = 0; i < inserts; ++i) {
        // A random phase against the one-second poll and the half-second tick.
        Sleep(static_cast<DWORD>(phase(random)));
        const auto start = Clock::now();
        if (!slot.Insert()) return std::fprintf(stderr, "cannot insert the card\n"), 1;
        double title = -1, rows = -1;
        const bool loaded = PollUntil(20000, 2, [&] {
            // Rows before the title: the program sets the title before any
            // row can arrive, so a row seen means the title is there too.
            if (rows < 0) {
                for (int id : kListIds)
                    if (ListRowCount(id) > 0) rows = MillisecondsSince(start);
            }
            if (title < 0 && WindowText(MainWindow()).find(L'[') != std::wstring::npos)
                title = MillisecondsSince(start);
            return title >= 0 && rows >= 0 && Loaded();
        });
        if (!loaded) return std::fprintf(stderr, "the card was not listed within 20 s\n"), 1;
        toTitle.push_back(title);
        toRows.push_back(rows);
        toLoaded.push_back(MillisecondsSince(start));
        load.push_back(toLoaded.back() - title);
        titleToRows.push_back(rows - title);
        if (!slot.Pull() || !PollUntil(20000, 20, Emptied))
            return std::fprintf(stderr, "the card did not leave the lists\n"), 1;
    }
    std::printf("inserts                           : %d at random poll phases\n", inserts);
    PrintQuantiles("insert -> title names the card", toTitle);
    PrintQuantiles("insert -> first rows", toRows);
    PrintQuantiles("insert -> last summary", toLoaded);
    PrintQuantiles("title -> last summary (the load)", load);
    const double bound = 1500;
    std::printf("ratio p95 title / bound 1,500 ms  : %7.2f (goal <= 1.0)\n", Quantile(toTitle, 0.95) / bound);
    PrintQuantiles("title -> first rows", titleToRows);
    std::printf("ratio p95 rows / (bound + p50 title->rows): %.2f (goal <= 1.0)\n",
                Quantile(toRows, 0.95) / (bound + Quantile(titleToRows, 0.5)));
    return 0;
}

int MeasureStallDuringLoad(const std::wstring& slotFolder) {
    const Slot slot = SlotOf(slotFolder);
    HWND main = WaitAnsweringMainWindow(20000);
    if (!main) return std::fprintf(stderr, "no main window\n"), 1;
    LatencyProbe idle(main);
    Sleep(3000);
    const LatencySummary baseline = idle.Finish();

    LatencyProbe probe(main);
    const auto start = Clock::now();
    if (!slot.Insert()) return std::fprintf(stderr, "cannot insert the card\n"), 1;
    // Until the first rows the load is inside the library's calls; then
    // rows go into the lists.
    double firstRowsMs = -1;
    if (!PollUntil(180000, 10, [&] {
            if (firstRowsMs < 0 && ListRowCount(kListIds[0]) + ListRowCount(kNormalList) > 0)
                firstRowsMs = MillisecondsSince(start);
            return Loaded();
        }))
        return std::fprintf(stderr, "the card was not listed\n"), 1;
    const double loadMs = MillisecondsSince(start);
    Sleep(500);  // the last batch's drawing
    const LatencySummary during = probe.Finish();
    PrintLatency("idle window (baseline)", baseline);
    PrintLatency("while the card loads", during);
    PrintLatency("  insert to first rows (library)", probe.Between(0, firstRowsMs));
    PrintLatency("  first rows to loaded (lists)", probe.Between(firstRowsMs, loadMs + 500));
    std::printf("insert -> last summary            : %7.0f ms, rows %d\n", loadMs,
                ListRowCount(1001) + ListRowCount(1002) + ListRowCount(1003) + ListRowCount(1004));
    std::printf("longest stall                     : %7.1f ms (goal <= 100), p99/idle p99 %.2f\n", during.max,
                during.p99 / std::max(baseline.p99, 0.001));
    return 0;
}

int MeasureStallDuringExport(int rows) {
    HWND main = WaitAnsweringMainWindow(20000);
    if (!main || !Loaded()) return std::fprintf(stderr, "no loaded card\n"), 1;
    if (ListRowCount(kNormalList) < rows || !TickRows(kNormalList, rows))
        return std::fprintf(stderr, "cannot tick %d Normal rows\n", rows), 1;
    LatencyProbe idle(main);
    Sleep(3000);
    const LatencySummary baseline = idle.Finish();

    LatencyProbe probe(main);
    const auto start = Clock::now();
    PostMessageW(GetDlgItem(main, kNormalSave), BM_CLICK, 0, 0);
    HWND box = nullptr;
    if (!PollUntil(900000, 20, [&] { return (box = FindBox(L"Saved")) != nullptr; }))
        return std::fprintf(stderr, "the export did not end\n"), 1;
    const double exportMs = MillisecondsSince(start);
    const LatencySummary during = probe.Finish();
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    PrintLatency("idle window (baseline)", baseline);
    PrintLatency("while recordings export", during);
    std::printf("export of %d recordings            : %7.0f ms\n", rows, exportMs);
    std::printf("longest stall                     : %7.1f ms (goal <= 100), p99/idle p99 %.2f\n", during.max,
                during.p99 / std::max(baseline.p99, 0.001));
    return 0;
}

namespace {

constexpr DWORD kSettleMs = 500;

// Starts a program and waits until `window` finds its window visible and
// answering; then closes it and waits for its end, and for the machine to
// settle: the processes a program ended as it closed (the library's host)
// are still being torn down for a while after it, and would slow the next
// start, whichever program that is. Milliseconds to the answer, or a
// negative value.
template <typename FindWindow>
double StartAndClose(const std::wstring& commandLine, const std::wstring& folder, FindWindow window) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const auto start = Clock::now();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return -1;
    HWND found = nullptr;
    PollUntil(30000, 1, [&] {
        HWND candidate = window();
        if (IsVisibleAndAnswering(candidate)) found = candidate;
        return found != nullptr;
    });
    const double elapsed = found ? MillisecondsSince(start) : -1;
    if (found) PostMessageW(found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Sleep(kSettleMs);
    return elapsed;
}

}  // namespace

int MeasureStartup(const std::wstring& program, int runs) {
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring driver = L"\"" + std::wstring(self) + L"\" ";
    const auto ownDialog = [&](unsigned parts, int controls) {
        return driver + L"own-dialog \"" + program + L"\" " + std::to_wstring(parts) + L" " +
               std::to_wstring(controls);
    };
    struct Contestant {
        const char* label;
        std::wstring commandLine;
        HWND (*window)();
        std::vector<double> ms;
    };
    constexpr int kFirstControls = 14;
    const int controls = OwnDialogControlCount(program);
    if (controls <= kFirstControls)
        return std::fprintf(stderr, "the program's dialog template could not be read\n"), 1;
    const auto minimal = [] { return FindWindowW(nullptr, kBenchDialogCaption); };
    // The program's own window without its logic is the floor; each part of
    // the program's start is priced on it alone, then all together, and the
    // bare window with fewer controls prices its controls.
    Contestant oldFloor{"minimal dialog (floor of old)", driver + L"dialog", minimal, {}};
    Contestant floor{"own window, bare (floor)", ownDialog(0, -1), MainWindow, {}};
    std::vector<Contestant> parts = {
        {"  + layout pass", ownDialog(kOwnLayoutPass, -1), MainWindow, {}},
        {"  + row image list", ownDialog(kOwnRowImages, -1), MainWindow, {}},
        {"  + icon, system menu", ownDialog(kOwnIcon, -1), MainWindow, {}},
        {"  + timers", ownDialog(kOwnTimers, -1), MainWindow, {}},
        {"  + imports (advapi32, bcrypt)", ownDialog(kOwnImports, -1), MainWindow, {}},
        {"  + all five (no host, no logic)", ownDialog(kOwnAllParts, -1), MainWindow, {}},
    };
    Contestant noControls{"own window, no controls", ownDialog(0, 0), MainWindow, {}};
    Contestant firstControls{"own window, first 14 controls", ownDialog(0, kFirstControls), MainWindow, {}};
    Contestant kroFileList{"KroFileList", L"\"" + program + L"\"", MainWindow, {}};
    std::vector<Contestant*> everyone = {&oldFloor, &floor};
    for (Contestant& part : parts) everyone.push_back(&part);
    for (Contestant* c : {&noControls, &firstControls, &kroFileList}) everyone.push_back(c);

    // In turn, so that all see the same load of the machine.
    for (int i = 0; i < runs; ++i) {
        for (Contestant* c : everyone) {
            const double ms = StartAndClose(c->commandLine, folder, c->window);
            if (ms < 0) return std::fprintf(stderr, "%s did not answer\n", c->label), 1;
            c->ms.push_back(ms);
        }
    }
    std::printf("starts of each                    : %d, in turn\n", runs);
    for (const Contestant* c : everyone) PrintQuantiles(c->label, c->ms);
    const auto ratio = [](const Contestant& a, const Contestant& b, double q) {
        return Quantile(a.ms, q) / Quantile(b.ms, q);
    };
    const auto beyond = [](const Contestant& a, const Contestant& b) {
        return Quantile(a.ms, 0.5) - Quantile(b.ms, 0.5);
    };
    std::printf("KroFileList / own window, best    : %7.2f (goal <= 1.2)\n", ratio(kroFileList, floor, 0));
    std::printf("KroFileList / own window, p50     : %7.2f (goal <= 1.2)\n", ratio(kroFileList, floor, 0.5));
    std::printf("KroFileList / minimal dialog      : %7.2f best, %.2f p50\n", ratio(kroFileList, oldFloor, 0),
                ratio(kroFileList, oldFloor, 0.5));
    std::printf("beyond the floor, p50 (ms)        :");
    for (const Contestant& part : parts) std::printf(" %s %+.0f;", part.label + 4, beyond(part, floor));
    std::printf(" KroFileList %+.0f\n", beyond(kroFileList, floor));
    std::printf(
        "controls, p50 (ms)                : first %d %+.0f (%.1f each), other %d %+.0f (%.1f each)\n",
        kFirstControls, beyond(firstControls, noControls), beyond(firstControls, noControls) / kFirstControls,
        controls - kFirstControls, beyond(floor, firstControls),
        beyond(floor, firstControls) / (controls - kFirstControls));
    return 0;
}

}  // namespace kro::bench
