#include "platform/linux/x11/X11KeyMap.h"

#include <array>
#include <utility>

namespace {

// (evdev code, program key code)
constexpr std::pair<int, int> positions[] = {
    // letters
    {30, 0},
    {48, 11},
    {46, 8},
    {32, 2},
    {18, 14},
    {33, 3},
    {34, 5},
    {35, 4},
    {23, 34},
    {36, 38},
    {37, 40},
    {38, 37},
    {50, 46},
    {49, 45},
    {24, 31},
    {25, 35},
    {16, 12},
    {19, 15},
    {31, 1},
    {20, 17},
    {22, 32},
    {47, 9},
    {17, 13},
    {45, 7},
    {21, 16},
    {44, 6},
    // digits
    {11, 29},
    {2, 18},
    {3, 19},
    {4, 20},
    {5, 21},
    {6, 23},
    {7, 22},
    {8, 26},
    {9, 28},
    {10, 25},
    // punctuation: - = [ ] ; ' , . / \ `
    {12, 27},
    {13, 24},
    {26, 33},
    {27, 30},
    {39, 41},
    {40, 39},
    {51, 43},
    {52, 47},
    {53, 44},
    {43, 42},
    {41, 50},
    // Space, Enter, Tab, Backspace, Esc
    {57, 49},
    {28, 36},
    {15, 48},
    {14, 51},
    {1, 53},
    // arrows: left, right, down, up
    {105, 123},
    {106, 124},
    {108, 125},
    {103, 126},
    // F1 to F12
    {59, 122},
    {60, 120},
    {61, 99},
    {62, 118},
    {63, 96},
    {64, 97},
    {65, 98},
    {66, 100},
    {67, 101},
    {68, 109},
    {87, 103},
    {88, 111},
    // Super right/left, Shift left, CapsLock, Alt left, Ctrl left, Shift right, Alt right (AltGr),
    // Ctrl right, and Menu standing in for Fn
    {126, 54},
    {125, 55},
    {42, 56},
    {58, 57},
    {56, 58},
    {29, 59},
    {54, 60},
    {100, 61},
    {97, 62},
    {127, 63},
};

constexpr int evdevOffset = 8;

struct Tables
{
    std::array<int, 256> program{};
    std::array<int, 256> x{};
};

const Tables& tables()
{
    static const Tables built = [] {
        Tables t;
        t.program.fill(-1);
        t.x.fill(-1);
        for (const auto& [evdev, program] : positions) {
            t.program[std::size_t(evdev + evdevOffset)] = program;
            t.x[std::size_t(program)] = evdev + evdevOffset;
        }
        return t;
    }();
    return built;
}

} // namespace

namespace X11KeyMap {

std::optional<int> programKeyCode(int xKeyCode)
{
    if (xKeyCode < 0 || xKeyCode > 255 || tables().program[std::size_t(xKeyCode)] < 0)
        return std::nullopt;
    return tables().program[std::size_t(xKeyCode)];
}

std::optional<int> xKeyCode(int programKeyCode)
{
    if (programKeyCode < 0 || programKeyCode > 255 || tables().x[std::size_t(programKeyCode)] < 0)
        return std::nullopt;
    return tables().x[std::size_t(programKeyCode)];
}

} // namespace X11KeyMap
