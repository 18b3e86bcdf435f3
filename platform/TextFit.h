#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QString>

// Controls keep their size in every language: a text longer than its
// control is set in a smaller size of the control's font, down to a floor
// below which it would no longer be read.
namespace TextFit {

inline constexpr double SmallestPoints = 6.5;

// The font, no larger than `font`, in which `text` fits `width` pixels, or
// the smallest one when none does.
inline QFont FittingFont(QFont font, const QString& text, int width) {
    while (font.pointSizeF() - 0.5 >= SmallestPoints &&
           QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

} // namespace TextFit
