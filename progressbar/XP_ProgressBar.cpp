#include "XP_ProgressBar.h"

#include "ProgressBarAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QPainter>

#include <array>
#include <cmath>
#include <limits>

namespace {

// Nearest integer, halves to even; values beyond the integer range are clamped.
int Round(double value) {
    if (std::isnan(value))
        return 0;
    value = std::nearbyint(value);
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(value);
}

bool FitsInt32(double value) {
    return std::isfinite(value) && value >= double(std::numeric_limits<std::int32_t>::min()) &&
           value <= double(std::numeric_limits<std::int32_t>::max());
}

constexpr ColorRef White = 0xFFFFFF;
constexpr ColorRef Black = 0x000000;

// The corner pixels of the XP frame, in the order they are set; negative
// coordinates count from the right or bottom edge (-1 is W - 1 or H - 1).
struct CornerPixel {
    int x;
    int y;
    ColorRef color;
};
constexpr CornerPixel CornerPixels[24] = {
    {0, 0, 0xFFFFFF},   {0, 1, 0xA6ABAC},   {0, 2, 0x7D7E7F},   {1, 0, 0xA7ABAC},
    {1, 1, 0x777777},   {2, 0, 0x7D7E7F},   {2, 2, 0xBEBEBE},   {0, -1, 0xFFFFFF},
    {1, -1, 0xA6ABAC},  {2, -1, 0x7D7E7F},  {0, -3, 0x7D7E7F},  {0, -2, 0xA7ABAC},
    {1, -2, 0x777777},  {-1, 0, 0xFFFFFF},  {-1, 1, 0xBEBEBE},  {-1, 2, 0x7D7E7F},
    {-2, 2, 0xBEBEBE},  {-2, 1, 0x686868},  {-1, -1, 0xFFFFFF}, {-1, -2, 0xBEBEBE},
    {-1, -3, 0x7D7E7F}, {-2, -2, 0x777777}, {-2, -1, 0xBEBEBE}, {-3, -1, 0x7D7E7F},
};

} // namespace

XP_ProgressBar::XP_ProgressBar(QWidget* parent) : QWidget(parent) {
    InstallProgressBarAccessibility();
    font_ = QApplication::font();
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    SetHdc();
    hwnd_ = this;
    max_ = 100;
    min_ = 0;
    percent_ = 0;
    orientation_ = 0;
    scrolling_ = 0;
    color_ = ResolveColor(DefaultColor);
    DrawProgressBar();
}

XP_ProgressBar::~XP_ProgressBar() {
    DestroyBuffer();
}

// --- properties -------------------------------------------------------------

void XP_ProgressBar::SetBrushStyle(std::int32_t style) {
    brushStyle_ = style;
    emit PropertyChanged(QStringLiteral("BrushStyle"));
}

void XP_ProgressBar::SetColor(ColorRef lColor) {
    color_ = ResolveColor(lColor);
    DrawProgressBar();
}

void XP_ProgressBar::SetHdc() {
    const QWidget* window = hwnd_ ? hwnd_.data() : this;
    if (EnsureBuffer(window->width(), window->height()))
        buffered_ = true;
}

void XP_ProgressBar::SetImage(const QImage& handle) {
    image_ = handle;
    emit PropertyChanged(QStringLiteral("Image"));
    DrawProgressBar();
}

void XP_ProgressBar::SetMin(std::int32_t cMin) {
    min_ = cMin;
    emit PropertyChanged(QStringLiteral("Min"));
}

void XP_ProgressBar::SetMax(std::int32_t cMax) {
    max_ = cMax;
    emit PropertyChanged(QStringLiteral("Max"));
}

void XP_ProgressBar::SetOrientation(std::int32_t cOrientation) {
    orientation_ = cOrientation;
    emit PropertyChanged(QStringLiteral("Orientation"));
    DrawProgressBar();
}

void XP_ProgressBar::SetScrolling(std::int32_t lScrolling) {
    scrolling_ = lScrolling;
    emit PropertyChanged(QStringLiteral("Scrolling"));
    DrawProgressBar();
}

void XP_ProgressBar::SetShowText(bool bShowText) {
    showText_ = bShowText;
    emit PropertyChanged(QStringLiteral("ShowText"));
    DrawProgressBar();
}

void XP_ProgressBar::SetValue(std::int32_t cValue) {
    // Min is added to the percentage, not taken from the value. A step that
    // does not work out (Max 0, a result beyond 32 bits) keeps the old percentage.
    const std::int64_t product = std::int64_t(cValue) * 100;
    const std::int32_t before = percent_;
    if (FitsInt32(double(product)) && max_ != 0) {
        const double percent = std::nearbyint(double(product) / max_ + min_);
        if (FitsInt32(percent))
            percent_ = std::int32_t(percent);
    }
    DrawProgressBar();
    // A screen reader hears the run's progress.
    if (percent_ != before) {
        QAccessibleValueChangeEvent changed(this, percent_);
        QAccessible::updateAccessibility(&changed);
    }
}

std::int32_t XP_ProgressBar::Value() const {
    const double divisor = min_ > 0 ? min_ : 1;
    return Round(double(percent_) / 100 * max_ / divisor);
}

// --- saved settings ---------------------------------------------------------

void XP_ProgressBar::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty(QStringLiteral("Font"), font_, QVariant());
    bag.WriteProperty(QStringLiteral("BrushStyle"), brushStyle_, 4);
    bag.WriteProperty(QStringLiteral("Color"), qlonglong(color_), qlonglong(DefaultColor));
    bag.WriteProperty(QStringLiteral("Image"), image_, QImage());
    bag.WriteProperty(QStringLiteral("Max"), max_, 100);
    bag.WriteProperty(QStringLiteral("Min"), min_, 0);
    bag.WriteProperty(QStringLiteral("Orientation"), orientation_, 0);
    bag.WriteProperty(QStringLiteral("Scrolling"), scrolling_, 0);
    bag.WriteProperty(QStringLiteral("ShowText"), showText_, false);
    bag.WriteProperty(QStringLiteral("Value"), percent_, 0);
}

void XP_ProgressBar::ReadProperties(const PropertyBag& bag) {
    auto number = [&](const char* key, qlonglong fallback) {
        return bag.ReadProperty(QString::fromLatin1(key), fallback).toLongLong();
    };
    // Without a saved font the control keeps the one it was created with.
    const QVariant font = bag.ReadProperty(QStringLiteral("Font"), QVariant());
    if (font.typeId() == QMetaType::QFont)
        font_ = font.value<QFont>();
    brushStyle_ = std::int32_t(number("BrushStyle", 4));
    SetColor(ColorRef(number("Color", qlonglong(DefaultColor))));
    image_ = bag.ReadProperty(QStringLiteral("Image"), QImage()).value<QImage>();
    SetMax(std::int32_t(number("Max", 100)));
    SetMin(std::int32_t(number("Min", 0)));
    SetOrientation(std::int32_t(number("Orientation", 0)));
    SetScrolling(std::int32_t(number("Scrolling", 0)));
    SetShowText(bag.ReadProperty(QStringLiteral("ShowText"), false).toBool());
    SetValue(std::int32_t(number("Value", 0)));
}

// --- the off-screen image ---------------------------------------------------

bool XP_ProgressBar::EnsureBuffer(int width, int height) {
    if (memImage_.isNull()) {
        if (width > 0 && height > 0)
            CreateBuffer(width, height);
    } else if (height > memImage_.height() || width > memImage_.width()) {
        CreateBuffer(width, height);
    }
    return !memImage_.isNull();
}

void XP_ProgressBar::CreateBuffer(int width, int height) {
    DestroyBuffer();
    memImage_ = QImage(width, height, QImage::Format_RGB32);
}

void XP_ProgressBar::DestroyBuffer() {
    memImage_ = QImage();
}

void XP_ProgressBar::resizeEvent(QResizeEvent*) {
    SetHdc();
}

void XP_ProgressBar::paintEvent(QPaintEvent*) {
    SetHdc();
    if (memImage_.isNull())
        return;
    Canvas canvas(memImage_);
    Pass(canvas);
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), memImage_, QRect(0, 0, width(), height()));
}

void XP_ProgressBar::DrawProgressBar() {
    if (percent_ > 100)
        percent_ = 100;
    // A hidden control is resized without a resize event; the image must
    // still cover it.
    SetHdc();
    if (memImage_.isNull())
        return;
    Canvas canvas(memImage_);
    Pass(canvas);
    update();
}

void XP_ProgressBar::Render(Canvas& target) {
    Pass(target);
}

void XP_ProgressBar::pDraw(Canvas& hdc, int xSrc, int ySrc, int WidthSrc, int HeightSrc, int xDst,
                           int yDst) {
    if (WidthSrc < 1)
        WidthSrc = BufferWidth();
    if (HeightSrc < 1)
        HeightSrc = BufferHeight();
    if (!memImage_.isNull())
        hdc.Blit(memImage_, xSrc, ySrc, WidthSrc, HeightSrc, xDst, yDst);
}

// --- primitives -------------------------------------------------------------

void XP_ProgressBar::DrawLine(int X, int Y, int Width, int Height, Canvas& cHdc, ColorRef Color) {
    cHdc.Line(X, Y, Width, Height, ResolveColor(Color));
}

void XP_ProgressBar::DrawGradient(ColorRef& lEndColor, ColorRef& lStartcolor, int X, int Y, int X2,
                                  int Y2, Canvas& hdc, bool& bH) {
    lEndColor = ResolveColor(lEndColor);
    lStartcolor = ResolveColor(lStartcolor);
    auto channels = [](ColorRef c) {
        return std::array<float, 3>{float(c & 0xFF), float((c / 256) & 0xFF),
                                    float((c & 0xFF0000) / 65536)};
    };
    const auto s = channels(lStartcolor);
    const auto e = channels(lEndColor);
    const int steps = bH ? X2 : Y2;
    // With no steps to divide by the ramp stays at its first colour.
    std::array<float, 3> step{0, 0, 0};
    if (steps != 0)
        for (int c = 0; c < 3; ++c)
            step[c] = float((double(s[c]) - double(e[c])) / steps);

    for (int i = 0; i <= steps; ++i) {
        // Lines past the far edge of the target would paint nothing.
        if ((bH ? std::int64_t(X) + i >= hdc.Width() : std::int64_t(Y) + i >= hdc.Height()))
            break;
        ColorRef color = 0;
        for (int c = 0; c < 3; ++c) {
            const int channel = std::clamp(Round(double(e[c]) + double(step[c]) * i), 0, 255);
            color |= ColorRef(channel) << (8 * c);
        }
        if (bH)
            DrawLine(X + i, Y, X + i, Y2, hdc, color);
        else
            DrawLine(X, Y + i, X2, Y + i, hdc, color);
    }
}

void XP_ProgressBar::Gradient(Canvas& hdc, ColorRef e, ColorRef s, int X, int Y, int X2, int Y2,
                              bool bH) {
    DrawGradient(e, s, X, Y, X2, Y2, hdc, bH);
}

ColorRef XP_ProgressBar::LightenColor(ColorRef c, int a) {
    const int red = int(c & 0xFF);
    const int green = int((c / 256) % 256);
    const int blue = int((c / 65536) % 256);
    auto lighten = [a](int x) { return std::min(a + x * (255 - a) / 255, 255); };
    return ColorRef(lighten(red) + lighten(green) * 256 + lighten(blue) * 65536);
}

ColorRef XP_ProgressBar::BlendColor(ColorRef p, ColorRef q, int w) {
    p = ResolveColor(p);
    q = ResolveColor(q);
    ColorRef result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double a = (p >> shift) & 0xFF;
        const double b = (q >> shift) & 0xFF;
        const int channel = std::clamp(Round(w * a / 255 + (255 - w) * b / 255), 0, 255);
        result |= ColorRef(channel) << shift;
    }
    return result;
}

// --- the drawing pass -------------------------------------------------------

void XP_ProgressBar::Pass(Canvas& hdc) {
    if (percent_ > 100)
        percent_ = 100;
    const QWidget* window = hwnd_ ? hwnd_.data() : this;
    W_ = window->width();
    H_ = window->height();
    rcClient_ = {0, 0, W_, H_};
    // Only the client area reaches the screen; nothing is drawn beyond it.
    hdc.SetClip(rcClient_);
    // Every pass starts from the same drawing state, so the look never
    // depends on what an earlier pass left behind.
    hdc.SetBackgroundMode(BackgroundMode::Opaque);
    hdc.FillRect(rcClient_, scrolling_ == StyleDark ? Black : White);

    switch (scrolling_) {
    case StyleFlat:
        DrawFlat(hdc);
        break;
    case StyleEtched:
        DrawEtched(hdc);
        break;
    case StyleShaded:
        DrawShaded(hdc);
        break;
    case StyleDark:
        DrawDark(hdc);
        break;
    case StyleHatched:
        DrawHatched(hdc);
        break;
    case StylePattern:
        DrawPattern(hdc);
        break;
    case StyleGlossy:
        DrawGlossy(hdc);
        break;
    default:
        LayoutXP();
        DrawXPFill(hdc);
        if (scrolling_ == StyleXPBlocks)
            DrawXPGaps(hdc);
        DrawXPFrame(hdc);
        break;
    }
    DrawBarText(hdc);
}

void XP_ProgressBar::LayoutXP() {
    blockWidth_ = scrolling_ == StyleXPBlocks ? 6 : 0;
    blockGap_ = 2;
    const int period = blockWidth_ + blockGap_;
    rcClient_.left = 3;
    rcFill_ = rcClient_;
    fillFraction_ = percent_ / 98.0;
    if (fillFraction_ < 0)
        fillFraction_ = 0;
    if (Horizontal()) {
        int r = Round((W_ - 3) * fillFraction_ + 3);
        r -= (r - 3) % period;
        if (r < 3)
            r = 3;
        rcFill_.right = r;
    } else {
        fillFraction_ = 1 - fillFraction_;
        int t = Round(H_ * fillFraction_);
        t -= (t - H_) % period;
        if (t > H_)
            t = H_;
        rcFill_.top = t;
    }
}

void XP_ProgressBar::DrawXPFill(Canvas& hdc) {
    const ColorRef light = Lightened(150);
    if (Horizontal()) {
        if (rcFill_.right <= 14)
            rcFill_.right = 12;
        const int q = rcFill_.right + 4 > W_ ? rcFill_.right - 4 : rcFill_.right;
        if (scrolling_ == StyleXPSearching) {
            DrawSearchingBlocks(hdc);
            return;
        }
        Gradient(hdc, light, color_, 4, 3, q, 6, false);
        hdc.FillRect({4, 8, q, H_ - 8}, color_);
        Gradient(hdc, color_, light, 4, H_ - 10, q, 6, false);
        return;
    }
    if (scrolling_ == StyleXPSearching) {
        DrawSearchingBlocks(hdc);
        return;
    }
    const int t = rcFill_.top;
    Gradient(hdc, light, color_, 4, t, 4, H_, true);
    hdc.FillRect({9, t, W_ - 8, H_}, color_);
    Gradient(hdc, color_, light, W_ - 8, t, 4, H_, true);
}

void XP_ProgressBar::DrawSearchingBlocks(Canvas& hdc) {
    for (int i = 0; i < 3; ++i) {
        const ColorRef first = Lightened(220 - 40 * i);
        const ColorRef last = Lightened(200 - 40 * i);
        if (Horizontal()) {
            const int x = Round(rcFill_.right + 12 * i - (100.0 - percent_) / 100.0 * 45);
            Gradient(hdc, first, last, x, 3, 9, H_ - 2, true);
        } else {
            const int y = rcFill_.top + 12 * i;
            Gradient(hdc, first, last, W_ - 2, y, 2, 9, false);
        }
    }
}

void XP_ProgressBar::DrawXPGaps(Canvas& hdc) {
    const int period = blockWidth_ + blockGap_;
    rcGap_ = {3, 0, W_, H_};
    if (Horizontal()) {
        for (int x = rcFill_.left + blockWidth_; x <= rcFill_.right; x += period) {
            rcGap_ = {x + 1, 0, x + 3, H_};
            hdc.FillRect(rcGap_, White);
        }
    } else {
        for (int y = H_; y >= rcFill_.top + 6; y -= period) {
            rcGap_ = {3, y - 2, W_, y};
            hdc.FillRect(rcGap_, White);
        }
    }
}

void XP_ProgressBar::DrawXPFrame(Canvas& hdc) {
    rcClient_.left = 0;
    const int W = W_;
    const int H = H_;
    DrawLine(2, 1, W - 2, 1, hdc, 0xBEBEBE);
    DrawLine(2, H - 2, W - 2, H - 2, hdc, 0xEFEFEF);
    DrawLine(1, 2, 1, H - 2, hdc, 0xBEBEBE);
    DrawLine(2, 2, 2, H - 2, hdc, 0xEFEFEF);
    DrawLine(2, 2, W - 2, 2, hdc, 0xEFEFEF);
    DrawLine(W - 2, 2, W - 2, H - 2, hdc, 0xEFEFEF);
    hdc.FrameRect({0, 0, W, H}, 0x686868);
    for (const CornerPixel& pixel : CornerPixels)
        hdc.SetPixel(pixel.x < 0 ? W + pixel.x : pixel.x, pixel.y < 0 ? H + pixel.y : pixel.y,
                     pixel.color);
}

void XP_ProgressBar::DrawFlat(Canvas& hdc) {
    hdc.FrameRect(rcClient_, Lightened(100));
    rcFill_ = {1, 1, Round(percent_ / 100.0 * W_), H_ - 1};
    hdc.FillRect(rcFill_, Lightened(180));
}

void XP_ProgressBar::DrawEtched(Canvas& hdc) {
    hdc.DrawEdge(rcClient_, EdgeEtched, SidesAll);
    const int n = Round(percent_ / 100.0 * (W_ - 4));
    Gradient(hdc, Lightened(140), Lightened(200), 2, 2, n, H_ - 3, true);
}

void XP_ProgressBar::DrawShaded(Canvas& hdc) {
    hdc.FrameRect(rcClient_, Lightened(10));
    const int f = Round(percent_ / 101.0 * W_);
    rcFill_ = {0, 0, f, H_};
    Gradient(hdc, color_, Lightened(100), 2, 2, W_ - 2, H_ - 5, false);
    Gradient(hdc, Lightened(250), color_, 3, 3, f, H_ - 6, false);
    DrawLine(f, 2, f, H_ - 2, hdc, Lightened(25));
}

void XP_ProgressBar::DrawDark(Canvas& hdc) {
    hdc.FrameRect(rcClient_, Darkened(200));
    const ColorRef edge = LightenColor(Darkened(100), 10);
    const int n = Round(percent_ / 100.0 * (W_ - 5));
    Gradient(hdc, Black, edge, 2, 2, n, H_ - 2, true);
}

void XP_ProgressBar::DrawHatched(Canvas& hdc) {
    hdc.DrawEdge(rcClient_, EdgeBump, SidesAll);
    rcFill_ = {2, 2, Round(percent_ / 101.0 * W_), H_ - 2};
    hdc.SetBackgroundColor(Lightened(140));
    // A style outside the six hatch styles fills in the plain bar colour.
    hdc.HatchRect(rcFill_, std::int16_t(brushStyle_), color_);
}

void XP_ProgressBar::DrawPattern(Canvas& hdc) {
    hdc.DrawEdge(rcClient_, SunkenOuter, SidesAll);
    if (image_.isNull())
        return;
    const int f = Round(percent_ / 101.0 * W_);
    hdc.PatternRect(2, 2, f, H_ - 4, image_);
}

void XP_ProgressBar::DrawGlossy(Canvas& hdc) {
    const int f = Round(percent_ / 100.0 * (W_ - 4));
    const int h = Round((H_ - 3) / 2.0);
    Gradient(hdc, White, 0xC0C0C0, 2, 2, W_ - 3, h, false);
    Gradient(hdc, BlendColor(0xC0C0C0, Black, 255), 0xC0C0C0, 2, h, W_ - 3, h, false);
    Gradient(hdc, Lightened(150), Darkened(180), 2, 2, f, h, false);
    Gradient(hdc, Darkened(190), color_, 2, h, f, h, false);
    DrawXPFrame(hdc);
}

// --- the text ---------------------------------------------------------------

void XP_ProgressBar::DrawBarText(Canvas& hdc) {
    const bool twoTone = scrolling_ == StyleDark || scrolling_ == StyleGlossy;
    const QString text = scrolling_ == StyleXPSearching
                             ? QStringLiteral("Searching..")
                             : QString::number(percent_) + QStringLiteral(" %");
    if (!showText_)
        return;
    const QFont previous = hdc.SelectFont(font_);
    hdc.SetBackgroundMode(BackgroundMode::Transparent);
    hdc.SetTextColor(scrolling_ == StyleDark ? 0xC0C0C0 : Black);
    CenterText(hdc, text);
    if (!(twoTone && percent_ / 100.0 * W_ > rcText_.right))
        hdc.DrawText(rcText_, text);
    hdc.SelectFont(previous);
    if (twoTone)
        DrawInsideText(hdc, text);
}

void XP_ProgressBar::CenterText(Canvas& hdc, const QString& text) {
    const QSize size = hdc.MeasureText(text);
    const int left = Round(W_ / 2.0 - size.width() / 2.0);
    const int top = Round(H_ / 2.0 - size.height() / 2.0);
    rcText_ = {left, top, left + size.width(), top + size.height()};
}

void XP_ProgressBar::DrawInsideText(Canvas& hdc, const QString& text) {
    const QFont previous = hdc.SelectFont(font_);
    hdc.SetBackgroundMode(BackgroundMode::Transparent);
    const double edge = percent_ / 100.0 * W_;
    if (edge < rcText_.left) {
        hdc.SelectFont(previous);
        return;
    }
    hdc.SetTextColor(scrolling_ == StyleDark ? Lightened(80) : White);
    rcText_.left = Round(W_ / 2.0 - (rcText_.right - rcText_.left) / 2.0);
    rcText_.right = Round(edge);
    hdc.DrawText(rcText_, text);
    hdc.SelectFont(previous);
}
