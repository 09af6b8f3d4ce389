#include "tools/cardgen/test_pattern.h"

#include <algorithm>
#include <array>
#include <string>

namespace kro::cardgen {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr std::array<Rgb, 8> kBars = {{
    {192, 192, 192},
    {192, 192, 0},
    {0, 192, 192},
    {0, 192, 0},
    {192, 0, 192},
    {192, 0, 0},
    {0, 0, 192},
    {16, 16, 16},
}};

// 3x5 glyphs, rows top to bottom, '#' set.
struct Glyph {
    char c;
    const char* rows;
};
constexpr Glyph kGlyphs[] = {
    {'0', "####.##.##.####"}, {'1', ".#.##..#..#.###"}, {'2', "###..#####..###"}, {'3', "###..####..####"},
    {'4', "#.##.####..#..#"}, {'5', "####..###..####"}, {'6', "####..####.####"}, {'7', "###..#..#..#..#"},
    {'8', "####.#####.####"}, {'9', "####.####..####"}, {'A', ".#.#.#####.##.#"}, {'B', "##.#.###.#.###."},
    {'C', "####..#..#..###"}, {'D', "##.#.##.##.###."}, {'E', "####..####..###"}, {'F', "####..####..#.."},
    {'G', "####..#.##.####"}, {'H', "#.##.#####.##.#"}, {'I', "###.#..#..#.###"}, {'J', "..#..#..##.####"},
    {'K', "#.##.###.#.##.#"}, {'L', "#..#..#..#..###"}, {'M', "#.########.##.#"}, {'N', "##.#.##.##.##.#"},
    {'O', ".#.#.##.##.#.#."}, {'P', "####.#####..#.."}, {'Q', "####.##.####..#"}, {'R', "####.###.#.##.#"},
    {'S', "####..###..####"}, {'T', "###.#..#..#..#."}, {'U', "#.##.##.##.####"}, {'V', "#.##.##.##.#.#."},
    {'W', "#.##.########.#"}, {'X', "#.##.#.#.#.##.#"}, {'Y', "#.##.#.#..#..#."}, {'Z', "###..#.#.#..###"},
    {'_', "............###"}, {'.', ".............#."}, {':', "....#.....#...."}, {'-', "......###......"},
};

class Canvas {
public:
    Canvas(int width, int height) : picture_{width, height, std::vector<std::uint8_t>(3u * width * height)} {}

    void Fill(int x, int y, int w, int h, Rgb colour) {
        const int x0 = std::clamp(x, 0, picture_.width), x1 = std::clamp(x + w, 0, picture_.width);
        const int y0 = std::clamp(y, 0, picture_.height), y1 = std::clamp(y + h, 0, picture_.height);
        for (int row = y0; row < y1; ++row) {
            for (int col = x0; col < x1; ++col) {
                std::uint8_t* p = &picture_.rgb[3u * (static_cast<unsigned>(row) * picture_.width + col)];
                p[0] = colour.r;
                p[1] = colour.g;
                p[2] = colour.b;
            }
        }
    }

    // Writes text with square dots of `scale` pixels; returns the width used.
    int Text(int x, int y, std::string_view text, int scale, Rgb colour) {
        int at = x;
        for (char c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            for (const Glyph& glyph : kGlyphs) {
                if (glyph.c != c) continue;
                for (int i = 0; i < 15; ++i) {
                    if (glyph.rows[i] == '#')
                        Fill(at + (i % 3) * scale, y + (i / 3) * scale, scale, scale, colour);
                }
            }
            at += 4 * scale;
        }
        return at - x;
    }

    void Bars(int y, int h, int dim) {
        const int barWidth = (picture_.width + 7) / 8;
        for (int i = 0; i < 8; ++i) {
            const Rgb bar = kBars[static_cast<std::size_t>(i)];
            Fill(i * barWidth, y, barWidth, h,
                 {static_cast<std::uint8_t>(bar.r * dim / 4), static_cast<std::uint8_t>(bar.g * dim / 4),
                  static_cast<std::uint8_t>(bar.b * dim / 4)});
        }
    }

    Picture Take() { return std::move(picture_); }

private:
    Picture picture_;
};

}  // namespace

Picture VideoFrame(int width, int height, std::uint32_t frame, std::uint32_t frameCount, Camera camera) {
    // Edges fall on the encoder's 16-pixel blocks wherever they can: a flat
    // block costs a few bits, which keeps an hour of frames small.
    constexpr int kBlock = 16;
    Canvas canvas(width, height);
    const bool front = camera == Camera::Front;
    canvas.Bars(0, height, front ? 4 : 3);
    // A box that steps one block per frame across the picture and back.
    const int cells = std::max(1, (width - kBlock) / kBlock);
    const int travel = static_cast<int>(frame % (2u * static_cast<std::uint32_t>(cells)));
    const int x = kBlock * (travel <= cells ? travel : 2 * cells - travel);
    canvas.Fill(x, height / 2 / kBlock * kBlock, kBlock, kBlock,
                front ? Rgb{255, 255, 255} : Rgb{255, 224, 0});
    // The camera and frame number, top left, on black.
    const int scale = std::max(1, height / 72);
    std::string label(1, front ? 'F' : 'R');
    label += std::to_string(frame);
    const int labelWidth = static_cast<int>(label.size()) * 4 * scale + scale;
    canvas.Fill(0, 0, (labelWidth + kBlock - 1) / kBlock * kBlock, 7 * scale <= 8 ? 8 : kBlock, {0, 0, 0});
    canvas.Text(scale, scale, label, scale, {255, 255, 255});
    // Progress along the bottom, in 8-pixel steps.
    const int done = frameCount > 0 ? static_cast<int>(std::uint64_t{frame + 1} * width / frameCount) : width;
    canvas.Fill(0, height / 8 * 8 - 8, done / 8 * 8, 8, {0, 224, 0});
    return canvas.Take();
}

Picture PhotoPicture(int width, int height, std::string_view caption, std::uint32_t variant) {
    Canvas canvas(width, height);
    canvas.Bars(0, height, 4);
    const int scale = std::max(1, height / 40);
    const int band = 9 * scale;
    canvas.Fill(0, height / 2 - band / 2, width, band, {0, 0, 0});
    canvas.Text(2 * scale, height / 2 - band / 2 + 2 * scale, caption, scale, {255, 255, 255});
    // A marker whose place differs per photo, so no two photos look alike.
    const int marker = height / 6;
    canvas.Fill(static_cast<int>(variant * 37u % static_cast<std::uint32_t>(std::max(1, width - marker))),
                height / 8, marker, marker, {255, 128, 0});
    return canvas.Take();
}

}  // namespace kro::cardgen
