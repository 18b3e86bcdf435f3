#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

// Colours as the progress bar stores them: 0x00BBGGRR, red in the low byte.
// A value with the top bit set names system colour (value & 0x7FFFFFFF).
using ColorRef = std::uint32_t;

inline constexpr ColorRef SystemColorFlag = 0x80000000u;

// Rectangles are (left, top, right, bottom); the right column and the bottom
// row lie outside.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Hatch styles of a hatch brush.
enum HatchStyle : int {
    HatchHorizontal = 0,
    HatchVertical = 1,
    HatchForwardDiagonal = 2,
    HatchBackwardDiagonal = 3,
    HatchCross = 4,
    HatchDiagonalCross = 5,
};

// Three-dimensional edge parts and sides.
enum EdgeFlags : int {
    RaisedOuter = 0x1,
    SunkenOuter = 0x2,
    RaisedInner = 0x4,
    SunkenInner = 0x8,
    EdgeEtched = SunkenOuter | RaisedInner, // 6
    EdgeBump = RaisedOuter | SunkenInner,   // 9
    SideLeft = 0x1,
    SideTop = 0x2,
    SideRight = 0x4,
    SideBottom = 0x8,
    SidesAll = 0xF,
};

enum class BackgroundMode { Opaque, Transparent };

// System colour numbers the program uses.
enum SystemColor : int {
    ColorButtonFace = 15,
    ColorHighlight = 13,
    ColorHighlightText = 14,
    ColorButtonShadow = 16,
    ColorButtonText = 18,
    ColorButtonHighlight = 20,
    ColorDarkShadow3D = 21,
    ColorLight3D = 22,
};

// The 0x00BBGGRR value of a system colour, taken from the application palette.
ColorRef SysColor(int index);

// A system colour reference resolved to 0x00BBGGRR; other values unchanged.
ColorRef ResolveColor(ColorRef color);

QRgb ToRgb(ColorRef color);
ColorRef FromRgb(QRgb rgb);

// Pixel-exact drawing operations on an off-screen image. Every operation
// clips to the image; nothing is drawn outside it.
class Canvas {
public:
    explicit Canvas(QImage& image);

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }

    // Limits every later operation to a rectangle (within the image).
    void SetClip(const Rect& clip) { clip_ = clip; }

    // Solid fill; the right column and the bottom row are not painted.
    void FillRect(const Rect& rect, ColorRef color);
    // The one-pixel border just inside the rectangle.
    void FrameRect(const Rect& rect, ColorRef color);
    // A one-pixel line from (x1, y1) towards (x2, y2); the end point is not painted.
    void Line(int x1, int y1, int x2, int y2, ColorRef color);
    void SetPixel(int x, int y, ColorRef color);
    // Fill with a hatch brush aligned to the canvas origin: set bits in the
    // colour, clear bits in the background colour while the mode is opaque.
    // A style outside the six hatch styles fills solid in the colour.
    void HatchRect(const Rect& rect, int style, ColorRef color);
    // Tiles the pattern, aligned to the canvas origin, over a rectangle.
    void PatternRect(int x, int y, int width, int height, const QImage& pattern);
    // A three-dimensional edge in the palette's light, midlight, dark and shadow colours.
    void DrawEdge(const Rect& rect, int edge, int sides);

    void SetBackgroundColor(ColorRef color) { backgroundColor_ = color; }
    void SetBackgroundMode(BackgroundMode mode) { backgroundMode_ = mode; }
    void SetTextColor(ColorRef color) { textColor_ = color; }
    // Selects a font and answers the one it replaces.
    QFont SelectFont(const QFont& font);

    // Width and height of one line of text in the selected font.
    QSize MeasureText(const QString& text) const;
    // One line of text at the top left of the rectangle, clipped to it.
    void DrawText(const Rect& rect, const QString& text);

    // Copies a w x h block of another image to (x, y).
    void Blit(const QImage& source, int xSource, int ySource, int width, int height, int x, int y);

    static bool HatchBit(int style, int x, int y);

private:
    bool Clip(Rect& rect) const;
    void Span(int y, int x1, int x2, QRgb rgb);

    QImage& image_;
    Rect clip_;
    ColorRef backgroundColor_ = 0xFFFFFF;
    BackgroundMode backgroundMode_ = BackgroundMode::Opaque;
    ColorRef textColor_ = 0x000000;
    QFont font_;
};
