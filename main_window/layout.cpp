#include "main_window/layout.h"

#include <cstdint>

namespace kro::layout {

namespace {

constexpr int kFontPoints = 10;
constexpr int kColumnPitch = kColumnWidth + kColumnGap;
constexpr int kButtonRow = kListTop + kListHeight + 5;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;

int ColumnOffset(int column) {
    return column * kColumnPitch;
}

// number * numerator / denominator rounded to the nearest integer, halves
// away from zero, as the system's MulDiv does (denominator > 0).
int MulDivRounded(int number, int numerator, int denominator) {
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const std::int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

int ReferenceDpi(int screenDpi) {
    if (screenDpi > 150) return 144;
    if (screenDpi > 125) return 120;
    if (screenDpi > 97) return 96;
    return 72;
}

int LabelFontHeight(int screenDpi) {
    return -MulDivRounded(kFontPoints, screenDpi, ReferenceDpi(screenDpi));
}

PixelRect DialogRect() {
    return {150, 150, 4 * kColumnWidth + 5 * kColumnGap + 10, 635};
}

PixelRect SummaryRect(int column) {
    return {kColumnGap + ColumnOffset(column), kListTop / 3 - 5, kColumnWidth, 15};
}

PixelRect GroupBoxRect(int column) {
    return {kColumnGap / 2 + ColumnOffset(column), kListTop / 2 + 10, kColumnPitch, kListHeight + 55};
}

PixelRect ListRect(int column) {
    return {kColumnGap + ColumnOffset(column), kListTop, kColumnWidth, kListHeight};
}

PixelRect CheckAllRect(int column) {
    return {20 + ColumnOffset(column), kButtonRow, kButtonWidth, kButtonHeight};
}

PixelRect BackupRect(int column) {
    return {kColumnGap + 105 + ColumnOffset(column), kButtonRow, kButtonWidth, kButtonHeight};
}

PixelRect SaveRect(int column) {
    return {160 + ColumnOffset(column), kButtonRow, kButtonWidth, kButtonHeight};
}

PixelRect ReloadRect() {
    return {4 * kColumnWidth + 5 * kColumnGap - 80, kButtonRow, 60, kButtonHeight};
}

PixelPoint CentredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

}  // namespace kro::layout
