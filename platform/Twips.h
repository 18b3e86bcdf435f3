#pragma once

#include <QRect>

// Layout sizes are given in twips; 15 twips make one logical pixel.
inline constexpr int TwipsPerPixel = 15;

inline constexpr int Px(int twips) {
    return twips >= 0 ? (twips + TwipsPerPixel / 2) / TwipsPerPixel
                      : -((-twips + TwipsPerPixel / 2) / TwipsPerPixel);
}

inline constexpr int ToTwips(int pixels) {
    return pixels * TwipsPerPixel;
}

// A rectangle given as left, top, width and height in twips.
inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}
