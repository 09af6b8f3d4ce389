// List loading under the real list-view control: a card's recordings loaded
// by the program's loading thread (rows posted in batches, inserted on the UI
// thread) until the last summary line is shown, against the floor for this
// control: the same rows, already in memory, inserted on the UI thread with
// redraw off. Runs under Wine (or Windows) with KROLib.dll beside it and the
// card named by the library's own means (the simulator's KROSIM_CARD).
// The program's own share is the load less the time spent inside the
// library's calls during that same load (bench/library_timer.h). The
// binding's own cost per call (its user count and call lock) is measured
// against a library of empty functions.
// The same load, and single calls, go through the library's host process too
// (KroLibHost64.exe beside this program), against the in-process binding in
// the same run; and a host that crashes in a call, against one round trip,
// until the next call has its answer from a fresh host.
//   load_bench [RUNS]
// Prints the best of RUNS (default 5) runs of each and their ratio.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/library_timer.h"
#include "bench/recording_lists/call_costs.h"
#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "device/text_sink.h"
#include "host_proxy/hosted_library.h"
#include "host_proxy/library_host_process.h"
#include "recording_lists/list_load_thread.h"
#include "recording_lists/recording_list_loader.h"
#include "recording_lists/row_batch.h"
#include "ui/app_messages.h"
#include "ui/list_view.h"

namespace {

using Clock = std::chrono::steady_clock;

kro::bench::LibraryTimingLoader timingLoader;
using kro::bench::BindingCostPerCall;
using kro::bench::CallTimes;
using kro::bench::libraryNanoseconds;
using kro::bench::PrintCallTimes;
using kro::bench::Quantile;
using kro::bench::TimeCalls;

// The hosted binding's diagnostics: the last line is kept, none is shown
// (the crash rounds below make them on purpose).
class LastLineSink final : public kro::TextSink {
public:
    void Write(std::string_view text) override { last.assign(text); }
    std::string last;
};
LastLineSink hostDiagnostics;

kro::HostedLibrary MakeHosted() {
    return kro::HostedLibrary(kro::SystemLibraryHostLauncher(),
                              kro::ExecutableFolder(kro::SystemModuleLoader()), hostDiagnostics);
}

struct Bench {
    kro::InProcessLibrary library{timingLoader};
    kro::HostedLibrary hosted = MakeHosted();
    kro::ListLoadThread loader;
    std::array<kro::ui::ListView, 4> lists;
    kro::CategoryLists listViews{};
    std::size_t rowsShown = 0;
    bool summaryShown = false;
    bool wholeBatches = false;
    // The longest one message kept the UI thread, over every run.
    double longestTurnMs = 0;
};
Bench* bench = nullptr;

std::size_t RowsInLists() {
    std::size_t rows = 0;
    for (const auto& list : bench->lists) rows += static_cast<std::size_t>(list.ItemCount());
    return rows;
}

// Rows go in as the main window puts them in: queued, then drained in slices
// of kRowInsertSlice at a turn per batch and per wake-up; or, for the
// comparison, each posted batch whole.
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kro::ui::kRowBatchMessage && message != kro::ui::kRowsPendingMessage) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const auto start = Clock::now();
    if (bench->wholeBatches) {
        if (message == kro::ui::kRowBatchMessage) {
            if (const std::unique_ptr<kro::RowBatch> batch = bench->loader.Receive(wParam, lParam)) {
                kro::InsertBatchRows(*batch, bench->listViews);
                bench->rowsShown += batch->rows.size();
                if (!batch->summaries.empty()) bench->summaryShown = true;
            }
        }
    } else {
        if (message == kro::ui::kRowBatchMessage) {
            bench->loader.Queue(wParam, lParam);
        } else {
            bench->loader.WakeUpArrived();
        }
        if (!bench->loader.DrainRows(window, bench->listViews, kro::kRowInsertSlice).empty()) {
            bench->rowsShown = RowsInLists();
            bench->summaryShown = true;
        }
    }
    bench->longestTurnMs = std::max(bench->longestTurnMs,
                                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    return 0;
}

class CollectingSink final : public kro::RecordingListSink {
public:
    void AddRow(kro::RecordingRow row) override { rows.push_back(std::move(row)); }
    void ShowSummary(kro::CategorySummary) override {}
    std::vector<kro::RecordingRow> rows;
};

void EmptyLists() {
    for (const auto& list : bench->lists) list.DeleteAllItems();
    bench->rowsShown = 0;
    bench->summaryShown = false;
}

void PumpUntil(const bool& done) {
    MSG message;
    while (!done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

int runs = 5;

template <typename Run>
double BestMilliseconds(Run run) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        EmptyLists();
        PumpPending();
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) runs = std::max(1, std::atoi(argv[1]));
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    auto state = std::make_unique<Bench>();
    bench = state.get();
    if (!bench->library.Load("")) {
        std::fprintf(stderr, "load_bench: KROLib.dll could not be loaded\n");
        return 1;
    }
    if (!bench->hosted.Load("")) {
        std::fprintf(stderr, "load_bench: no library host beside the program served KROLib.dll\n");
        return 1;
    }

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KroLoadBench";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"KroLoadBench", L"load bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150,
                                  150, 1110, 635, nullptr, nullptr, windowClass.hInstance, nullptr);
    for (int i = 0; i < 4; ++i) {
        HWND list =
            CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                            20 + i * 270, 50, 250, 500, window, nullptr, windowClass.hInstance, nullptr);
        bench->lists[i] = kro::ui::ListView(list);
        bench->listViews[i] = &bench->lists[i];
        bench->lists[i].SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        bench->lists[i].InsertColumn(0, L" ", 20);
        bench->lists[i].InsertColumn(1, L"Filename", 126);
        bench->lists[i].InsertColumn(2, L"Size", 43);
        if (i < 3) bench->lists[i].InsertColumn(3, L"Min/Sec", 40);
    }
    UpdateWindow(window);

    // The rows the baseline inserts: read once, outside the timing.
    CollectingSink collected;
    std::atomic<bool> never{false};
    kro::LoadRecordingLists(bench->library, collected, never);
    kro::RowBatch allRows;
    allRows.rows = collected.rows;

    // Each run records the whole load and the library's part of that load
    // (none is seen here when the library is in its host).
    struct LoadFigures {
        double loadMs = 1e30, shareMs = 1e30, libraryMs = 0, longestTurnMs = 0;
        std::vector<double> shares, loads;
        bool allRows = true;
    };
    const auto loadOnce = [&](const kro::KroLibrary& library, LoadFigures& figures) {
        EmptyLists();
        PumpPending();
        libraryNanoseconds = 0;
        const auto start = Clock::now();
        bench->loader.Start(library, window);
        PumpUntil(bench->summaryShown);
        UpdateWindow(window);
        const double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double inLibrary = static_cast<double>(libraryNanoseconds.load()) / 1e6;
        figures.shares.push_back(total - inLibrary);
        figures.loads.push_back(total);
        figures.loadMs = std::min(figures.loadMs, total);
        if (total - inLibrary < figures.shareMs) {
            figures.shareMs = total - inLibrary;
            figures.libraryMs = inLibrary;
        }
        figures.allRows = figures.allRows && RowsInLists() == allRows.rows.size();
    };
    const auto finish = [](LoadFigures& figures) {
        std::sort(figures.shares.begin(), figures.shares.end());
        std::sort(figures.loads.begin(), figures.loads.end());
    };
    LoadFigures whole, sliced, hostedLoad;
    bench->wholeBatches = true;
    for (int i = 0; i < runs; ++i) loadOnce(bench->library, whole);
    whole.longestTurnMs = bench->longestTurnMs;
    // The window's way, in-process and through the host in turn.
    bench->wholeBatches = false;
    bench->longestTurnMs = 0;
    for (int i = 0; i < runs; ++i) {
        loadOnce(bench->library, sliced);
        loadOnce(bench->hosted, hostedLoad);
    }
    sliced.longestTurnMs = bench->longestTurnMs;
    for (LoadFigures* figures : {&whole, &sliced, &hostedLoad}) finish(*figures);
    const double loadMs = sliced.loadMs, shareMs = sliced.shareMs, libraryInLoadMs = sliced.libraryMs;
    const std::vector<double>& shares = sliced.shares;
    const std::size_t rowsLoaded = RowsInLists();
    const double floorMs = BestMilliseconds([&] {
        kro::InsertBatchRows(allRows, bench->listViews);
        UpdateWindow(window);
    });
    // The same rows in the load's batch sizes (256 doubling to 4,096), each
    // drawn before the next, as the lists are drawn while a load comes in.
    const double drawnFloorMs = BestMilliseconds([&] {
        std::size_t batchRows = kro::kFirstRowBatchRows;
        for (std::size_t first = 0; first < allRows.rows.size(); first += batchRows) {
            if (first != 0) batchRows = std::min(batchRows * 2, kro::kLargestRowBatchRows);
            kro::RowBatch piece;
            const std::size_t last = std::min(allRows.rows.size(), first + batchRows);
            piece.rows.assign(allRows.rows.begin() + static_cast<std::ptrdiff_t>(first),
                              allRows.rows.begin() + static_cast<std::ptrdiff_t>(last));
            kro::InsertBatchRows(piece, bench->listViews);
            for (const auto& list : bench->lists) UpdateWindow(list.Handle());
        }
        UpdateWindow(window);
    });
    // The loading thread's own work with no window: the rows and their texts
    // made from the library's answers, the library's time taken out.
    double makingMs = 1e30;
    for (int i = 0; i < runs; ++i) {
        CollectingSink sink;
        libraryNanoseconds = 0;
        const auto start = Clock::now();
        kro::LoadRecordingLists(bench->library, sink, never);
        const double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        makingMs = std::min(makingMs, total - static_cast<double>(libraryNanoseconds.load()) / 1e6);
    }
    const auto [boundNs, straightNs] = BindingCostPerCall();

    // Single calls through the host against the same calls in-process: the
    // presence check, as the poller makes it once a second (the simulator's
    // count call lists the card's folder, tens of milliseconds on this card),
    // and the list call of the largest category, the biggest reply there is.
    const CallTimes checks = TimeCalls(bench->library, bench->hosted, 3000, [](const auto& library, int) {
        std::uint8_t value = 0;
        const std::int32_t result = library.CheckDevice(&value);
        return std::pair{result, value};
    });
    std::int32_t counts[4] = {};
    for (std::uint8_t category = 0; category < 4; ++category)
        counts[category] = bench->library.GetFileCount(category);
    const auto largest =
        static_cast<std::uint8_t>(std::max_element(std::begin(counts), std::end(counts)) - counts);
    const std::int32_t largestCount = counts[largest];
    std::vector<RecordingEntry> entries(static_cast<std::size_t>(largestCount));
    std::vector<std::int32_t> auxiliary(entries.size()), durations(entries.size());
    std::vector<std::uint32_t> sizes(entries.size());
    const CallTimes lists = TimeCalls(bench->library, bench->hosted, 20, [&](const auto& library, int) {
        return library.GetFileList(largest, largestCount, entries.data(), auxiliary.data(), sizes.data(),
                                   durations.data());
    });

    // A host that crashes inside a call, then the next call, which needs a
    // fresh host. Each round has a binding of its own, since three host ends
    // within a minute pause restarts; its first host inherits the simulator's
    // fault in the count call, the fresh one (started without it) answers
    // the presence check. Then the host ended on request while no call is in
    // progress, and the calls until one is answered again.
    constexpr int kCrashRounds = 10;
    std::vector<double> firstStartMs, crashMs, restartMs, afterEndMs;
    int failedAfterEnd = 0, crashRoundsWrong = 0;
    const auto sinceMs = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    for (int round = 0; round < kCrashRounds; ++round) {
        SetEnvironmentVariableW(L"KROSIM_FAULTS", L"crash=list");
        kro::HostedLibrary crashing = MakeHosted();
        auto start = Clock::now();
        const bool loaded = crashing.Load("");
        firstStartMs.push_back(sinceMs(start));
        SetEnvironmentVariableW(L"KROSIM_FAULTS", nullptr);
        start = Clock::now();
        crashing.GetFileCount(0);
        const bool crashed = kro::KroLibrary::LastCallFailure() == kro::CallFailure::HostCrashed;
        crashMs.push_back(sinceMs(start));
        start = Clock::now();
        std::uint8_t value = 0;
        crashing.CheckDevice(&value);
        const bool answered = kro::KroLibrary::LastCallFailure() == kro::CallFailure::None;
        restartMs.push_back(sinceMs(start));
        crashing.EndHost();
        start = Clock::now();
        int failed = 0;
        for (value = 0; failed < 3; ++failed) {
            crashing.CheckDevice(&value);
            if (kro::KroLibrary::LastCallFailure() == kro::CallFailure::None) break;
        }
        afterEndMs.push_back(sinceMs(start));
        failedAfterEnd += failed;
        if (!loaded || !crashed || !answered || failed == 3) ++crashRoundsWrong;
    }
    for (auto* times : {&firstStartMs, &crashMs, &restartMs, &afterEndMs})
        std::sort(times->begin(), times->end());

    bench->loader.Stop(window, std::chrono::seconds(5));
    DestroyWindow(window);
    std::printf("rows                         : %zu (loaded %zu), best of %d runs\n", allRows.rows.size(),
                rowsLoaded, runs);
    std::printf("load until last summary      : %9.1f ms\n", loadMs);
    std::printf("  of which in library calls  : %9.1f ms (in the run of the smallest share)\n",
                libraryInLoadMs);
    std::printf("program share (load-library) : %9.1f ms (median of runs %.1f ms)\n", shareMs,
                shares[shares.size() / 2]);
    std::printf("UI-thread insert, redraw off : %9.1f ms (floor)\n", floorMs);
    std::printf("  the same, drawn per batch  : %9.1f ms (%.2f x the floor)\n", drawnFloorMs,
                drawnFloorMs / floorMs);
    std::printf("rows made, no window         : %9.1f ms (loading thread, library's time out)\n", makingMs);
    std::printf("ratio load/floor             : %9.2f\n", loadMs / floorMs);
    std::printf("ratio share/floor            : %9.2f (goal <= 1.2)\n", shareMs / floorMs);
    // A load that shows its rows as they come draws once per batch; the
    // floor of that design is the drawn one.
    std::printf("ratio share/drawn floor      : %9.2f (goal <= 1.2)\n", shareMs / drawnFloorMs);
    std::printf(
        "longest UI-thread turn        : %9.1f ms in slices of %d ms; %.1f ms with whole batches of up to "
        "%zu rows\n",
        sliced.longestTurnMs, static_cast<int>(kro::kRowInsertSlice.count()), whole.longestTurnMs,
        kro::kLargestRowBatchRows);
    std::printf("whole batches, for comparison: load %.1f ms, share %.1f ms, share/floor %.2f\n",
                whole.loadMs, whole.shareMs, whole.shareMs / floorMs);
    std::printf("binding cost per call        : %9.1f ns (a plain call %.1f ns); a load makes 9 calls\n",
                boundNs, straightNs);

    std::printf(
        "-- the library's host (%s), against the same calls in-process\n",
        kro::HostFileName(sizeof(void*) == 4 ? kro::HostArchitecture::X86 : kro::HostArchitecture::X64));
    PrintCallTimes("KRO_Check_Kro_Device", checks);
    std::printf(
        "KRO_Get_File_List_tt, %6d  : in-process best %.1f ms, hosted best %.1f ms (%.2f x; %zu calls "
        "each)\n",
        largestCount, lists.inProcess.front() / 1e3, lists.hosted.front() / 1e3,
        lists.hosted.front() / lists.inProcess.front(), lists.hosted.size());
    std::printf(
        "load through the host        : %9.1f ms, median %.1f ms; in-process %.1f ms, median %.1f ms\n",
        hostedLoad.loadMs, Quantile(hostedLoad.loads, 0.5), sliced.loadMs, Quantile(sliced.loads, 0.5));
    std::printf("ratio hosted/in-process load : %9.2f best, %.2f median (goal <= 1.1)\n",
                hostedLoad.loadMs / sliced.loadMs,
                Quantile(hostedLoad.loads, 0.5) / Quantile(sliced.loads, 0.5));
    // What the host adds to a load by its calls alone, from the calls timed
    // above: five small calls and the list calls' extra per entry. Steadier
    // than the difference of two whole loads, which the machine moves more.
    const double roundTripMs = Quantile(checks.hosted, 0.5) / 1e3;
    const double extraPerEntryMs = (lists.hosted.front() - lists.inProcess.front()) / 1e3 / largestCount;
    const double callsExtraMs =
        5 * (roundTripMs - Quantile(checks.inProcess, 0.5) / 1e3) + extraPerEntryMs * allRows.rows.size();
    std::printf(
        "the host's calls in one load : %9.1f ms, %.3f x the in-process load (from the calls above)\n",
        callsExtraMs, 1 + callsExtraMs / sliced.loadMs);
    std::printf("first start (host + Load)    : p50 %7.1f ms, max %.1f ms (%d rounds)\n",
                Quantile(firstStartMs, 0.5), firstStartMs.back(), kCrashRounds);
    std::printf("the crashing call returns    : p50 %7.1f ms, max %.1f ms after it was made\n",
                Quantile(crashMs, 0.5), crashMs.back());
    std::printf(
        "crash -> next call answered  : p50 %7.1f ms, max %.1f ms = %.0f x one round trip (%.3f ms)\n",
        Quantile(restartMs, 0.5), restartMs.back(), Quantile(restartMs, 0.5) / roundTripMs, roundTripMs);
    std::printf(
        "EndHost -> a call answered   : p50 %7.1f ms, max %.1f ms; %d of %d first calls after it "
        "failed%s%s\n",
        Quantile(afterEndMs, 0.5), afterEndMs.back(), failedAfterEnd, kCrashRounds,
        failedAfterEnd == 0 ? "" : "; the binding said: ",
        failedAfterEnd == 0 ? "" : hostDiagnostics.last.substr(0, hostDiagnostics.last.find('\n')).c_str());
    const bool hostRight =
        checks.wrong == 0 && lists.wrong == 0 && hostedLoad.allRows && crashRoundsWrong == 0;
    if (!hostRight) {
        std::printf("hosted calls not answered as in-process: check %d, list %d; loads %s; crash rounds %d\n",
                    checks.wrong, lists.wrong, hostedLoad.allRows ? "whole" : "short", crashRoundsWrong);
    }
    return sliced.allRows && whole.allRows && hostRight ? 0 : 1;
}
