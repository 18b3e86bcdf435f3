#include "Canvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cstdlib>

namespace {

// 8 x 8 hatch bitmaps, one byte a row from the top, 0x80 the leftmost pixel.
constexpr std::uint8_t HatchBits[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // backward diagonal
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // diagonal cross
};

QPalette::ColorRole RoleOf(int index) {
    switch (index) {
    case 5:
        return QPalette::Base;
    case 8:
        return QPalette::WindowText;
    case ColorHighlight:
        return QPalette::Highlight;
    case ColorHighlightText:
        return QPalette::HighlightedText;
    case ColorButtonFace:
        return QPalette::Button;
    case ColorButtonShadow:
        return QPalette::Dark;
    case ColorButtonText:
        return QPalette::ButtonText;
    case ColorButtonHighlight:
        return QPalette::Light;
    case ColorDarkShadow3D:
        return QPalette::Shadow;
    case ColorLight3D:
        return QPalette::Midlight;
    default:
        return QPalette::Window;
    }
}

} // namespace

QRgb ToRgb(ColorRef color) {
    return qRgb(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

ColorRef FromRgb(QRgb rgb) {
    return ColorRef(qRed(rgb)) | ColorRef(qGreen(rgb)) << 8 | ColorRef(qBlue(rgb)) << 16;
}

ColorRef SysColor(int index) {
    return FromRgb(QGuiApplication::palette().color(QPalette::Active, RoleOf(index)).rgb());
}

ColorRef ResolveColor(ColorRef color) {
    return (color & SystemColorFlag) ? SysColor(int(color & ~SystemColorFlag)) : color;
}

Canvas::Canvas(QImage& image) : image_(image), clip_{0, 0, image.width(), image.height()} {}

bool Canvas::Clip(Rect& rect) const {
    rect.left = std::max({rect.left, clip_.left, 0});
    rect.top = std::max({rect.top, clip_.top, 0});
    rect.right = std::min({rect.right, clip_.right, image_.width()});
    rect.bottom = std::min({rect.bottom, clip_.bottom, image_.height()});
    return rect.left < rect.right && rect.top < rect.bottom;
}

void Canvas::Span(int y, int x1, int x2, QRgb rgb) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    std::fill(line + x1, line + x2, rgb);
}

void Canvas::FillRect(const Rect& rect, ColorRef color) {
    Rect r = rect;
    if (!Clip(r))
        return;
    const QRgb rgb = ToRgb(color);
    for (int y = r.top; y < r.bottom; ++y)
        Span(y, r.left, r.right, rgb);
}

void Canvas::FrameRect(const Rect& rect, ColorRef color) {
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    FillRect({rect.left, rect.top, rect.right, rect.top + 1}, color);
    FillRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, color);
    FillRect({rect.left, rect.top, rect.left + 1, rect.bottom}, color);
    FillRect({rect.right - 1, rect.top, rect.right, rect.bottom}, color);
}

void Canvas::SetPixel(int x, int y, ColorRef color) {
    Rect r{x, y, x + 1, y + 1};
    if (Clip(r))
        reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = ToRgb(color);
}

void Canvas::Line(int x1, int y1, int x2, int y2, ColorRef color) {
    if (y1 == y2) {
        const int from = x1 <= x2 ? x1 : x2 + 1;
        const int to = x1 <= x2 ? x2 : x1 + 1;
        FillRect({from, y1, to, y1 + 1}, color);
        return;
    }
    if (x1 == x2) {
        const int from = y1 <= y2 ? y1 : y2 + 1;
        const int to = y1 <= y2 ? y2 : y1 + 1;
        FillRect({x1, from, x1 + 1, to}, color);
        return;
    }
    // Any other direction: Bresenham's steps, all but the last point.
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int error = dx + dy;
    int x = x1;
    int y = y1;
    while (x != x2 || y != y2) {
        SetPixel(x, y, color);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

bool Canvas::HatchBit(int style, int x, int y) {
    return (HatchBits[style][y & 7] & (0x80 >> (x & 7))) != 0;
}

void Canvas::HatchRect(const Rect& rect, int style, ColorRef color) {
    if (style < HatchHorizontal || style > HatchDiagonalCross) {
        FillRect(rect, color);
        return;
    }
    Rect r = rect;
    if (!Clip(r))
        return;
    const QRgb fore = ToRgb(color);
    const QRgb back = ToRgb(backgroundColor_);
    const bool opaque = backgroundMode_ == BackgroundMode::Opaque;
    for (int y = r.top; y < r.bottom; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        for (int x = r.left; x < r.right; ++x) {
            if (HatchBit(style, x, y))
                line[x] = fore;
            else if (opaque)
                line[x] = back;
        }
    }
}

void Canvas::PatternRect(int x, int y, int width, int height, const QImage& pattern) {
    Rect r{x, y, x + width, y + height};
    if (pattern.isNull() || !Clip(r))
        return;
    const QImage tile = pattern.convertToFormat(QImage::Format_RGB32);
    for (int row = r.top; row < r.bottom; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
        const auto* source = reinterpret_cast<const QRgb*>(tile.constScanLine(row % tile.height()));
        for (int column = r.left; column < r.right; ++column)
            line[column] = source[column % tile.width()] | 0xFF000000u;
    }
}

void Canvas::DrawEdge(const Rect& rect, int edge, int sides) {
    // One ring for the outer part, one inside it for the inner part. The top
    // and left sides take the first colour, the bottom and right the second;
    // the bottom-left and top-right corners belong to the second.
    auto ring = [&](const Rect& r, ColorRef topLeft, ColorRef bottomRight) {
        if (sides & SideTop)
            FillRect({r.left, r.top, r.right - 1, r.top + 1}, topLeft);
        if (sides & SideLeft)
            FillRect({r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
        if (sides & SideRight)
            FillRect({r.right - 1, r.top, r.right, r.bottom}, bottomRight);
        if (sides & SideBottom)
            FillRect({r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    };
    Rect r = rect;
    if (edge & (RaisedOuter | SunkenOuter)) {
        const bool raised = edge & RaisedOuter;
        ring(r, SysColor(raised ? ColorLight3D : ColorButtonShadow),
             SysColor(raised ? ColorDarkShadow3D : ColorButtonHighlight));
    }
    r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    if (edge & (RaisedInner | SunkenInner)) {
        const bool raised = edge & RaisedInner;
        ring(r, SysColor(raised ? ColorButtonHighlight : ColorDarkShadow3D),
             SysColor(raised ? ColorButtonShadow : ColorLight3D));
    }
}

QFont Canvas::SelectFont(const QFont& font) {
    QFont previous = font_;
    font_ = font;
    font_.setStyleStrategy(QFont::NoAntialias);
    return previous;
}

QSize Canvas::MeasureText(const QString& text) const {
    const QFontMetrics metrics(font_);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void Canvas::DrawText(const Rect& rect, const QString& text) {
    Rect r = rect;
    if (text.isEmpty() || !Clip(r))
        return;
    QPainter painter(&image_);
    painter.setClipRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    painter.setFont(font_);
    painter.setPen(QColor(ToRgb(textColor_)));
    if (backgroundMode_ == BackgroundMode::Opaque) {
        const QSize size = MeasureText(text);
        painter.fillRect(rect.left, rect.top, size.width(), size.height(),
                         QColor(ToRgb(backgroundColor_)));
    }
    painter.drawText(QPoint(rect.left, rect.top + QFontMetrics(font_).ascent()), text);
}

void Canvas::Blit(const QImage& source, int xSource, int ySource, int width, int height, int x,
                  int y) {
    QPainter painter(&image_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(x, y), source, QRect(xSource, ySource, width, height));
}
