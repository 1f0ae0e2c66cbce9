#pragma once

#include <QRect>

namespace kelvark {

// Positions and sizes of the windows are kept in twips: 15 twips make one
// device-independent pixel, which Qt scales on high-DPI screens.
constexpr int TwipsPerPixel = 15;

constexpr int Pixels(int twips)
{
    return (twips + (twips < 0 ? -TwipsPerPixel / 2 : TwipsPerPixel / 2)) / TwipsPerPixel;
}

constexpr int Twips(int pixels)
{
    return pixels * TwipsPerPixel;
}

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)};
}

} // namespace kelvark
