// The running KroFileList seen from the benchmark driver's process: its main
// window, controls, list rows and message boxes, and a clock. Everything here
// works across processes under Wine and Windows alike.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace kro::bench {

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Control identifiers of the main window.
inline constexpr int kListIds[4] = {1001, 1002, 1003, 1004};
inline constexpr int kNormalList = 1002;
inline constexpr int kNormalSave = 1005;
inline constexpr int kPhotoSummary = 1028;
inline constexpr wchar_t kZeroPhotoSummary[] = L"file: 0000, size: 0.00G";

// The program's main window, or null.
HWND MainWindow();
// True when the window is visible and answers a message within 100 ms.
bool IsVisibleAndAnswering(HWND window);
// The main window once it is visible and answers a message within 100 ms;
// null when that does not happen within `milliseconds`.
HWND WaitAnsweringMainWindow(int milliseconds);
std::wstring WindowText(HWND window);
std::wstring ControlText(int id);
int ListRowCount(int id);
// Ticks the first `rows` rows of a list; false when a row could not be ticked.
bool TickRows(int id, int rows);
// A visible message box of the program's process with this caption, or null.
HWND FindBox(const std::wstring& caption);

// Polls `done` every `periodMs` until it holds or `timeoutMs` has passed.
template <typename Predicate>
bool PollUntil(int timeoutMs, int periodMs, Predicate done) {
    const auto start = Clock::now();
    while (!done()) {
        if (MillisecondsSince(start) > timeoutMs) return false;
        Sleep(static_cast<DWORD>(periodMs));
    }
    return true;
}

// Sorted samples summarised: the value at fraction q (0..1) of the way.
double Quantile(std::vector<double> samples, double q);

}  // namespace kro::bench
