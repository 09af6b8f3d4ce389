// kro_bench_driver: measures what a user feels of the running KroFileList,
// from another process in the same Wine prefix (or Windows session), and
// stands in for the baseline programs those figures are set against. One
// command per run; figures on standard output, failures on standard error
// with exit status 1. bench/run-program-bench.sh runs the whole set.
//
//   arrival SLOT N        insert and pull the card N times at random poll
//                         phases: insert -> title, -> first rows, -> loaded
//   stall-load SLOT       probe the window every 10 ms while the card loads
//   stall-export ROWS     tick ROWS Normal rows, save, probe until "Saved"
//   startup PROGRAM N     start PROGRAM, the minimal dialog and PROGRAM's own
//                         window without its logic (whole and in parts) N
//                         times each
//   wait-loaded MS        wait until the lists show a loaded card
//   wait-empty MS         wait until the lists are empty without a card
//   close                 close the main window
//   dialog                be the minimal dialog program (start-up floor)
//   own-dialog PROGRAM PARTS CONTROLS
//                         be PROGRAM's own window without its logic (the
//                         start-up floor; PARTS and CONTROLS: scenarios.h)
//   dialog-timers         the same, waking every 500 ms and every second as
//                         the program's tick and poller do (idle floor)
//   bare-lists SIGNAL     be the bare list-view program (memory floor); it
//                         waits for the file SIGNAL to come, then to go
//
// SLOT is the Windows path of a folder holding the simulator's card as
// card.out; the program runs with KROSIM_CARD naming SLOT\card.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/program/remote_program.h"
#include "bench/program/scenarios.h"

namespace {

std::wstring Wide(const char* text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

int Run(int argc, char** argv) {
    using namespace kro::bench;
    const std::string command = argc > 1 ? argv[1] : "";
    const auto argument = [&](int index) { return argc > index ? argv[index] : ""; };
    const auto number = [&](int index, int fallback) {
        return argc > index ? std::atoi(argv[index]) : fallback;
    };

    if (command == "arrival") return MeasureArrival(Wide(argument(2)), number(3, 30));
    if (command == "stall-load") return MeasureStallDuringLoad(Wide(argument(2)));
    if (command == "stall-export") return MeasureStallDuringExport(number(2, 512));
    if (command == "startup") return MeasureStartup(Wide(argument(2)), number(3, 10));
    if (command == "dialog") return RunMinimalDialog(false);
    if (command == "own-dialog")
        return RunOwnDialog(Wide(argument(2)), static_cast<unsigned>(number(3, 0)), number(4, -1));
    if (command == "dialog-timers") return RunMinimalDialog(true);
    if (command == "bare-lists") return RunBareLists(Wide(argument(2)));
    if (command == "wait-loaded") {
        const bool loaded =
            WaitAnsweringMainWindow(number(2, 10000)) != nullptr && PollUntil(number(2, 10000), 20, [] {
                const std::wstring text = ControlText(kPhotoSummary);
                return !text.empty() && text != kZeroPhotoSummary;
            });
        return loaded ? 0 : (std::fprintf(stderr, "no loaded card\n"), 1);
    }
    if (command == "wait-empty") {
        const bool empty =
            WaitAnsweringMainWindow(number(2, 10000)) != nullptr && PollUntil(number(2, 10000), 20, [] {
                return WindowText(MainWindow()) == L"KroFileList" && ListRowCount(kNormalList) == 0;
            });
        return empty ? 0 : (std::fprintf(stderr, "the lists did not empty\n"), 1);
    }
    if (command == "close") {
        HWND main = MainWindow();
        return main && PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    std::fprintf(stderr, "kro_bench_driver: unknown command \"%s\"\n", command.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = Run(argc, argv);
    std::fflush(stdout);
    return status;
}
