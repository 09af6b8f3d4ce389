// Pixel layout of the main dialog. Every control has a fixed place whatever
// the screen's resolution; only the height of the list font follows the
// screen's DPI. Columns run from 0 (Event) to 3 (Photo), left to right.
#pragma once

namespace kro::layout {

// A rectangle: position and size. The dialog's is in screen coordinates,
// every control's in the dialog's client coordinates.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

inline constexpr int kColumnCount = 4;
inline constexpr int kColumnWidth = 250;  // a list and a summary line
inline constexpr int kColumnGap = 20;     // between columns; left margin
inline constexpr int kListTop = 50;
inline constexpr int kListHeight = 500;

// The DPI the font height is scaled from, for a screen DPI.
int ReferenceDpi(int screenDpi);
// The list font's height: negative, a character height in pixels.
int LabelFontHeight(int screenDpi);

PixelRect DialogRect();
PixelRect SummaryRect(int column);
PixelRect GroupBoxRect(int column);
PixelRect ListRect(int column);
PixelRect CheckAllRect(int column);
PixelRect BackupRect(int column);
PixelRect SaveRect(int column);
PixelRect ReloadRect();

// Where a minimised window draws its icon: centred in the client area.
struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};
PixelPoint CentredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

}  // namespace kro::layout
