#pragma once

#include "Canvas.h"
#include "PropertyBag.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>

// A self-drawn progress bar with ten looks, a centred percentage text,
// colours, orientation and saved settings. It draws into an off-screen image
// that reaches the screen in one copy.
class XP_ProgressBar : public QWidget {
    Q_OBJECT

public:
    // The looks, selected by Scrolling; any other value draws like StyleXPSmooth.
    enum Style : std::int32_t {
        StyleXPBlocks = 0,
        StyleXPSmooth = 1,
        StyleXPSearching = 2,
        StyleFlat = 3,
        StyleEtched = 4,
        StyleShaded = 5,
        StyleDark = 6,
        StyleHatched = 7,
        StylePattern = 8,
        StyleGlossy = 9,
    };

    // The default colour: system colour 13, the highlight colour.
    static constexpr ColorRef DefaultColor = 0x8000000Du;

    explicit XP_ProgressBar(QWidget* parent = nullptr);
    ~XP_ProgressBar() override;

    // One complete drawing pass into the off-screen image, then onto the screen.
    void DrawProgressBar();
    // A one-pixel line from (X, Y) to (Width, Height), the end point not painted.
    void DrawLine(int X, int Y, int Width, int Height, Canvas& cHdc, ColorRef Color);
    // A ramp of one-pixel lines from lEndColor to lStartcolor; both colours are
    // resolved and written back.
    void DrawGradient(ColorRef& lEndColor, ColorRef& lStartcolor, int X, int Y, int X2, int Y2,
                      Canvas& hdc, bool& bH);
    // Copies a block of the off-screen image onto hdc; a width or height below
    // 1 stands for the whole image.
    void pDraw(Canvas& hdc, int xSrc, int ySrc, int WidthSrc, int HeightSrc, int xDst, int yDst);

    void SetBrushStyle(std::int32_t Style);
    ColorRef Color() const { return color_; }
    void SetColor(ColorRef lColor);
    QFont Font() const { return font_; }
    void SetFont(const QFont& fnt) { font_ = fnt; }
    QWidget* hwnd() const { return hwnd_; }
    void SetHwnd(QWidget* chWnd) { hwnd_ = chWnd; }
    // The drawing target: the off-screen image, or null while there is none.
    const QImage* hdc() const { return memImage_.isNull() ? nullptr : &memImage_; }
    // Re-validates the off-screen image for the current size.
    void SetHdc();
    QImage Image() const { return image_; }
    void SetImage(const QImage& handle);
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t cMin);
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t cMax);
    std::int32_t Orientation() const { return orientation_; }
    void SetOrientation(std::int32_t cOrientation);
    std::int32_t Scrolling() const { return scrolling_; }
    void SetScrolling(std::int32_t lScrolling);
    bool ShowText() const { return showText_; }
    void SetShowText(bool bShowText);
    std::int32_t Value() const;
    void SetValue(std::int32_t cValue);

    std::int32_t Percent() const { return percent_; }
    std::int32_t BrushStyle() const { return brushStyle_; }

    // Colour routines of the looks.
    static ColorRef LightenColor(ColorRef c, int a);
    static ColorRef BlendColor(ColorRef p, ColorRef q, int w);

    // Saved settings.
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    // Runs the drawing pass (without the copy to the screen) onto any canvas at
    // least as large as the control.
    void Render(Canvas& target);

    // State of the off-screen image, for callers that watch its life cycle.
    bool Buffered() const { return buffered_; }
    int BufferWidth() const { return memImage_.width(); }
    int BufferHeight() const { return memImage_.height(); }
    Rect TextRect() const { return rcText_; }

signals:
    void PropertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool EnsureBuffer(int width, int height);
    void CreateBuffer(int width, int height);
    void DestroyBuffer();

    void Pass(Canvas& hdc);
    void Gradient(Canvas& hdc, ColorRef e, ColorRef s, int X, int Y, int X2, int Y2, bool bH);
    ColorRef Lightened(int amount) const { return LightenColor(color_, amount); }
    ColorRef Darkened(int weight) const { return BlendColor(color_, 0x000000, weight); }

    void LayoutXP();
    void DrawXPFill(Canvas& hdc);
    void DrawSearchingBlocks(Canvas& hdc);
    void DrawXPGaps(Canvas& hdc);
    void DrawXPFrame(Canvas& hdc);
    void DrawFlat(Canvas& hdc);
    void DrawEtched(Canvas& hdc);
    void DrawShaded(Canvas& hdc);
    void DrawDark(Canvas& hdc);
    void DrawHatched(Canvas& hdc);
    void DrawPattern(Canvas& hdc);
    void DrawGlossy(Canvas& hdc);

    void DrawBarText(Canvas& hdc);
    void CenterText(Canvas& hdc, const QString& text);
    void DrawInsideText(Canvas& hdc, const QString& text);
    bool Horizontal() const { return orientation_ == 0; }

    ColorRef color_ = 0;
    QPointer<QWidget> hwnd_;
    std::int32_t max_ = 100;
    std::int32_t min_ = 0;
    std::int32_t percent_ = 0;
    bool showText_ = false;
    std::int32_t scrolling_ = 0;
    std::int32_t orientation_ = 0;
    std::int32_t brushStyle_ = 0;
    QImage image_;
    QFont font_;

    bool buffered_ = false;
    QImage memImage_;

    int W_ = 0;
    int H_ = 0;
    Rect rcClient_;
    Rect rcFill_;
    Rect rcGap_;
    Rect rcText_;
    int blockWidth_ = 0;
    int blockGap_ = 0;
    double fillFraction_ = 0;
};
