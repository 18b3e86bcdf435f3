#include "PixelTest.h"
#include "PropertyBag.h"
#include "Resources.h"
#include "XP_ProgressBar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <vector>

using PixelTest::At;
using PixelTest::Sentinel;
using PixelTest::SentinelImage;

namespace {

constexpr ColorRef Green = 0x00C000;
constexpr ColorRef White = 0xFFFFFF;
constexpr ColorRef Black = 0x000000;

ColorRef Light(int amount) {
    return XP_ProgressBar::LightenColor(Green, amount);
}

} // namespace

class tst_ProgressBar : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { PixelTest::SaveIfFailed(image_); }

    void lightenAndBlend_data();
    void lightenAndBlend();
    void valueAndPercent_data();
    void valueAndPercent();
    void percentAboveHundredIsStoredAsHundred();
    void gradient_data();
    void gradient();
    void gradientWritesResolvedColoursBack();
    void lineLeavesEndPoint();
    void drawsOnlyInsideTheControl_data();
    void drawsOnlyInsideTheControl();
    void blockLayout_data();
    void blockLayout();
    void xpFrameCorners_data();
    void xpFrameCorners();
    void searchingBlocks_data();
    void searchingBlocks();
    void fillEdges_data();
    void fillEdges();
    void hatchedFill();
    void patternWithoutImage();
    void verticalBlocks();
    void verticalSmoothFill();
    void barText_data();
    void barText();
    void twoToneText_data();
    void twoToneText();
    void setters();
    void bufferGrowsNeverShrinks();
    void pDrawCopiesWholeBuffer();
    void persistenceDefaults();
    void persistenceRoundTrip_data();
    void persistenceRoundTrip();
    void conversionWindowInstance();
    void badValuesDoNotCrash();
    void toldToAssistiveTechnology();

private:
    // Renders the bar into an image two pixels larger than the control in
    // each direction, pre-filled with the sentinel colour.
    void Render(XP_ProgressBar& bar);
    void Make(XP_ProgressBar& bar, int style, int percent, QSize size = {167, 25});

    QImage image_;
};

void tst_ProgressBar::initTestCase() {
    PixelTest::UseFixedPalette();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
}

void tst_ProgressBar::Render(XP_ProgressBar& bar) {
    image_ = SentinelImage(bar.width() + 2, bar.height() + 2);
    Canvas canvas(image_);
    bar.Render(canvas);
}

void tst_ProgressBar::Make(XP_ProgressBar& bar, int style, int percent, QSize size) {
    bar.resize(size);
    bar.SetHdc();
    bar.SetColor(Green);
    bar.SetScrolling(style);
    bar.SetValue(percent);
    Render(bar);
}

void tst_ProgressBar::lightenAndBlend_data() {
    QTest::addColumn<bool>("blend");
    QTest::addColumn<uint>("p");
    QTest::addColumn<uint>("q");
    QTest::addColumn<int>("amount");
    QTest::addColumn<uint>("expected");
    QTest::newRow("lighten black by 150") << false << 0x000000u << 0u << 150 << 0x969696u;
    QTest::newRow("lighten green by 150") << false << 0x00C000u << 0u << 150 << 0x96E596u;
    QTest::newRow("lighten by 0") << false << 0x123456u << 0u << 0 << 0x123456u;
    QTest::newRow("lighten by 255") << false << 0x123456u << 0u << 255 << 0xFFFFFFu;
    QTest::newRow("blend weight 200") << true << 0x00C000u << 0u << 200 << 0x009700u;
    QTest::newRow("blend weight 255") << true << 0x123456u << 0xABCDEFu << 255 << 0x123456u;
    QTest::newRow("blend weight 0") << true << 0x123456u << 0xABCDEFu << 0 << 0xABCDEFu;
    QTest::newRow("blend system colour") << true << 0x8000000Du << 0u << 255 << 0xC56A31u;
}

void tst_ProgressBar::lightenAndBlend() {
    QFETCH(bool, blend);
    QFETCH(uint, p);
    QFETCH(uint, q);
    QFETCH(int, amount);
    QFETCH(uint, expected);
    const ColorRef result =
        blend ? XP_ProgressBar::BlendColor(p, q, amount) : XP_ProgressBar::LightenColor(p, amount);
    QCOMPARE(result, ColorRef(expected));
}

void tst_ProgressBar::valueAndPercent_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("readBack");
    QTest::newRow("0..100, 37") << 0 << 100 << 37 << 37 << 37;
    QTest::newRow("0..8, 1: 12.5 to even") << 0 << 8 << 1 << 12 << 1;
    QTest::newRow("0..8, 3: 37.5 to even") << 0 << 8 << 3 << 38 << 3;
    QTest::newRow("0..3, 1") << 0 << 3 << 1 << 33 << 1;
    QTest::newRow("10..100, 50: Min added") << 10 << 100 << 50 << 60 << 6;
    QTest::newRow("Max 0 keeps the percentage") << 0 << 0 << 50 << 20 << 0;
    QTest::newRow("value times 100 beyond 32 bits") << 0 << 100 << 30000000 << 20 << 20;
    QTest::newRow("negative") << 0 << 100 << -40 << -40 << -40;
    QTest::newRow("huge Max") << 0 << 2147483647 << 1000 << 0 << 0;
}

void tst_ProgressBar::valueAndPercent() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, value);
    QFETCH(int, percent);
    QFETCH(int, readBack);
    XP_ProgressBar bar;
    bar.resize(167, 25);
    bar.SetValue(20);
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetValue(value);
    QCOMPARE(bar.Percent(), percent);
    QCOMPARE(bar.Value(), readBack);
}

void tst_ProgressBar::percentAboveHundredIsStoredAsHundred() {
    XP_ProgressBar bar;
    bar.resize(167, 25);
    bar.SetHdc();
    bar.SetValue(150);
    QCOMPARE(bar.Percent(), 100);
    QCOMPARE(bar.Value(), 100);
}

void tst_ProgressBar::gradient_data() {
    QTest::addColumn<bool>("horizontalLines");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QList<uint>>("colors");
    QTest::newRow("three rows, 127.5 rounds to 128")
        << true << 2 << QList<uint>{0x000000, 0x000080, 0x0000FF};
    QTest::newRow("no steps: one line in the end colour") << true << 0 << QList<uint>{0x000000};
    QTest::newRow("negative steps: nothing") << true << -1 << QList<uint>{};
    QTest::newRow("three columns") << false << 2 << QList<uint>{0x000000, 0x000080, 0x0000FF};
}

void tst_ProgressBar::gradient() {
    QFETCH(bool, horizontalLines);
    QFETCH(int, steps);
    QFETCH(QList<uint>, colors);
    XP_ProgressBar bar;
    image_ = SentinelImage(8, 8);
    Canvas canvas(image_);
    ColorRef end = 0x000000;
    ColorRef start = 0x0000FF;
    bool bH = !horizontalLines;
    if (horizontalLines)
        bar.DrawGradient(end, start, 1, 1, 5, steps, canvas, bH);
    else
        bar.DrawGradient(end, start, 1, 1, steps, 5, canvas, bH);
    for (int i = 0; i < 7; ++i) {
        // Line i runs from coordinate 1 to 4 across (5 is its end point).
        const int x = horizontalLines ? 3 : 1 + i;
        const int y = horizontalLines ? 1 + i : 3;
        if (i < colors.size())
            QCOMPARE(At(image_, x, y), ColorRef(colors[i]));
        else
            QCOMPARE(image_.pixel(x, y), Sentinel);
    }
    if (!colors.isEmpty()) {
        QCOMPARE(image_.pixel(horizontalLines ? 5 : 1, horizontalLines ? 1 : 5), Sentinel);
        QVERIFY(image_.pixel(horizontalLines ? 4 : 1, horizontalLines ? 1 : 4) != Sentinel);
    }
}

void tst_ProgressBar::gradientWritesResolvedColoursBack() {
    XP_ProgressBar bar;
    image_ = SentinelImage(4, 4);
    Canvas canvas(image_);
    ColorRef end = 0x8000000D;
    ColorRef start = 0x80000014;
    bool bH = false;
    bar.DrawGradient(end, start, 0, 0, 3, 1, canvas, bH);
    QCOMPARE(end, ColorRef(0xC56A31));
    QCOMPARE(start, ColorRef(0xFFFFFF));
}

void tst_ProgressBar::lineLeavesEndPoint() {
    XP_ProgressBar bar;
    image_ = SentinelImage(12, 3);
    Canvas canvas(image_);
    bar.DrawLine(2, 1, 10, 1, canvas, 0x8000000D);
    for (int x = 0; x < 12; ++x)
        QCOMPARE(At(image_, x, 1) == 0xC56A31, x >= 2 && x <= 9);
    QCOMPARE(image_.pixel(5, 0), Sentinel);
}

void tst_ProgressBar::drawsOnlyInsideTheControl_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("orientation");
    for (int style = 0; style <= 10; ++style)
        for (int orientation : {0, 1})
            QTest::addRow("style %d, orientation %d", style, orientation) << style << orientation;
}

void tst_ProgressBar::drawsOnlyInsideTheControl() {
    QFETCH(int, style);
    QFETCH(int, orientation);
    for (int percent : {0, 33, 66, 100}) {
        XP_ProgressBar bar;
        bar.SetShowText(true);
        bar.SetOrientation(orientation);
        bar.SetBrushStyle(3);
        QImage tile(4, 4, QImage::Format_RGB32);
        tile.fill(Qt::darkGreen);
        bar.SetImage(tile);
        Make(bar, style, percent);
        for (int y = 0; y < image_.height(); ++y)
            for (int x = 0; x < image_.width(); ++x) {
                const bool inside = x < 167 && y < 25;
                QVERIFY2(
                    (image_.pixel(x, y) != Sentinel) == inside,
                    qPrintable(QStringLiteral("pixel %1,%2 at %3 %").arg(x).arg(y).arg(percent)));
            }
    }
}

void tst_ProgressBar::blockLayout_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("lastBlockColumn");
    QTest::newRow("0") << 0 << 9;
    QTest::newRow("50") << 50 << 81;
    QTest::newRow("98") << 98 << 161;
    QTest::newRow("100") << 100 << 161;
    QTest::newRow("-20") << -20 << 9;
}

void tst_ProgressBar::blockLayout() {
    QFETCH(int, percent);
    QFETCH(int, lastBlockColumn);
    XP_ProgressBar bar;
    Make(bar, XP_ProgressBar::StyleXPBlocks, percent);
    // The middle row: frame, then blocks of six columns with two-column gaps.
    QCOMPARE(At(image_, 0, 12), ColorRef(0x686868));
    QCOMPARE(At(image_, 1, 12), ColorRef(0xBEBEBE));
    QCOMPARE(At(image_, 2, 12), ColorRef(0xEFEFEF));
    QCOMPARE(At(image_, 3, 12), White);
    for (int x = 4; x <= 164; ++x) {
        const bool block = x <= lastBlockColumn && (x - 4) % 8 < 6;
        QVERIFY2(At(image_, x, 12) == (block ? Green : White), qPrintable(QString::number(x)));
    }
    QCOMPARE(At(image_, 165, 12), ColorRef(0xEFEFEF));
    QCOMPARE(At(image_, 166, 12), ColorRef(0x686868));
    // Shading: the top gradient starts lightened by 150, the bottom one ends so.
    QCOMPARE(At(image_, 4, 3), Light(150));
    QCOMPARE(At(image_, 4, 9), Green);
    QCOMPARE(At(image_, 4, 21), Light(150));
    QCOMPARE(At(image_, 4, 15), Green);
}

void tst_ProgressBar::xpFrameCorners_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<uint>("color");
    const int W = 167, H = 25;
    const QList<std::tuple<int, int, uint>> corners = {
        {0, 0, 0xFFFFFF},         {0, 1, 0xA6ABAC},         {0, 2, 0x7D7E7F},
        {1, 0, 0xA7ABAC},         {1, 1, 0x777777},         {2, 0, 0x7D7E7F},
        {2, 2, 0xBEBEBE},         {0, H - 1, 0xFFFFFF},     {1, H - 1, 0xA6ABAC},
        {2, H - 1, 0x7D7E7F},     {0, H - 3, 0x7D7E7F},     {0, H - 2, 0xA7ABAC},
        {1, H - 2, 0x777777},     {W - 1, 0, 0xFFFFFF},     {W - 1, 1, 0xBEBEBE},
        {W - 1, 2, 0x7D7E7F},     {W - 2, 2, 0xBEBEBE},     {W - 2, 1, 0x686868},
        {W - 1, H - 1, 0xFFFFFF}, {W - 1, H - 2, 0xBEBEBE}, {W - 1, H - 3, 0x7D7E7F},
        {W - 2, H - 2, 0x777777}, {W - 2, H - 1, 0xBEBEBE}, {W - 3, H - 1, 0x7D7E7F},
    };
    for (int style : {0, 1, 2, 9})
        for (const auto& [x, y, color] : corners)
            QTest::addRow("style %d (%d,%d)", style, x, y) << style << QPoint(x, y) << color;
    QTest::newRow("top line") << 0 << QPoint(80, 1) << 0xBEBEBEu;
    QTest::newRow("outer ring") << 0 << QPoint(80, 0) << 0x686868u;
    QTest::newRow("bottom line") << 0 << QPoint(80, H - 2) << 0xEFEFEFu;
}

void tst_ProgressBar::xpFrameCorners() {
    QFETCH(int, style);
    QFETCH(QPoint, pixel);
    QFETCH(uint, color);
    XP_ProgressBar bar;
    Make(bar, style, 50);
    QCOMPARE(At(image_, pixel.x(), pixel.y()), ColorRef(color));
}

void tst_ProgressBar::searchingBlocks_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<QList<int>>("starts");
    QTest::newRow("50") << 50 << QList<int>{64, 76, 88};
    QTest::newRow("0: left of the frame") << 0 << QList<int>{};
    QTest::newRow("100: beyond the right edge") << 100 << QList<int>{};
}

void tst_ProgressBar::searchingBlocks() {
    QFETCH(int, percent);
    QFETCH(QList<int>, starts);
    XP_ProgressBar bar;
    Make(bar, XP_ProgressBar::StyleXPSearching, percent);
    QList<bool> expected(167, false);
    for (int i = 0; i < starts.size(); ++i) {
        for (int x = starts[i]; x < starts[i] + 10; ++x)
            expected[x] = true;
        QCOMPARE(At(image_, starts[i], 12), Light(220 - 40 * i));
        QCOMPARE(At(image_, starts[i] + 9, 12), Light(200 - 40 * i));
        QCOMPARE(At(image_, starts[i], 3), Light(220 - 40 * i));
        QCOMPARE(At(image_, starts[i], 22), Light(220 - 40 * i));
        QCOMPARE(At(image_, starts[i], 23), ColorRef(0xEFEFEF)); // H - 2 is the end point
    }
    for (int x = 3; x <= 164; ++x)
        QVERIFY2((At(image_, x, 12) != White) == expected[x], qPrintable(QString::number(x)));
}

void tst_ProgressBar::fillEdges_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("lastFill");
    QTest::addColumn<uint>("lastFillColor");
    QTest::addColumn<uint>("afterFillColor");
    const ColorRef darkEdge =
        XP_ProgressBar::LightenColor(XP_ProgressBar::BlendColor(Green, Black, 100), 10);
    QTest::newRow("flat 50") << 3 << 50 << 12 << 83 << uint(Light(180)) << 0xFFFFFFu;
    QTest::newRow("flat 100: over the frame") << 3 << 100 << 12 << 166 << uint(Light(180)) << 0u;
    QTest::newRow("etched 50") << 4 << 50 << 12 << 84 << uint(Light(200)) << 0xFFFFFFu;
    QTest::newRow("shaded 100: edge line at 165")
        << 5 << 100 << 12 << 165 << uint(Light(25)) << uint(Light(10));
    QTest::newRow("shaded 50") << 5 << 50 << 2 << 83 << uint(Light(25)) << uint(Green);
    QTest::newRow("dark 50") << 6 << 50 << 12 << 83 << uint(darkEdge) << 0u;
    QTest::newRow("pattern 50") << 8 << 50 << 12 << 84 << 0x336699u << 0xFFFFFFu;
    QTest::newRow("glossy 50") << 9 << 50 << 3 << 81 << 0x88DD88u << 0xF9F9F9u;
    QTest::newRow("glossy 50, lower half") << 9 << 50 << 22 << 81 << uint(Green) << 0xC0C0C0u;
}

void tst_ProgressBar::fillEdges() {
    QFETCH(int, style);
    QFETCH(int, percent);
    QFETCH(int, row);
    QFETCH(int, lastFill);
    QFETCH(uint, lastFillColor);
    QFETCH(uint, afterFillColor);
    XP_ProgressBar bar;
    QImage tile(2, 2, QImage::Format_RGB32);
    tile.fill(qRgb(0x99, 0x66, 0x33));
    bar.SetImage(tile);
    Make(bar, style, percent);
    QCOMPARE(At(image_, lastFill, row), ColorRef(lastFillColor));
    if (lastFill + 1 < 167)
        QCOMPARE(At(image_, lastFill + 1, row), ColorRef(afterFillColor));
}

void tst_ProgressBar::hatchedFill() {
    XP_ProgressBar bar;
    bar.SetBrushStyle(HatchHorizontal);
    Make(bar, XP_ProgressBar::StyleHatched, 50);
    // Fill (2, 2) to (83, 23): row 3 and row 11 carry the lines.
    QCOMPARE(At(image_, 82, 3), Green);
    QCOMPARE(At(image_, 82, 11), Green);
    QCOMPARE(At(image_, 82, 4), Light(140));
    QCOMPARE(At(image_, 83, 4), White);
    QCOMPARE(At(image_, 2, 2), Light(140));

    // The look stays the same once text has been drawn.
    bar.SetShowText(true);
    Render(bar);
    QCOMPARE(At(image_, 10, 4), Light(140));

    // A brush style outside the hatch styles fills in the plain bar colour.
    bar.SetShowText(false);
    bar.SetBrushStyle(42);
    Render(bar);
    QCOMPARE(At(image_, 82, 4), Green);
    QCOMPARE(At(image_, 83, 4), White);
}

void tst_ProgressBar::patternWithoutImage() {
    XP_ProgressBar bar;
    Make(bar, XP_ProgressBar::StylePattern, 100);
    for (int x = 1; x < 166; ++x)
        QCOMPARE(At(image_, x, 12), White);
}

void tst_ProgressBar::verticalBlocks() {
    XP_ProgressBar bar;
    bar.SetOrientation(1);
    Make(bar, XP_ProgressBar::StyleXPBlocks, 50, QSize(25, 167));
    // Top of the fill at 87; gaps of two rows every eight from the bottom.
    QCOMPARE(At(image_, 12, 86), White);
    for (int y = 87; y < 165; ++y) {
        const bool gap = ((y - 165) % 8 + 8) % 8 < 2 || y < 87;
        QVERIFY2(At(image_, 12, y) == (gap ? White : Green), qPrintable(QString::number(y)));
    }
    QCOMPARE(At(image_, 4, 100), Light(150));
    QCOMPARE(At(image_, 8, 100), Green);
    QCOMPARE(At(image_, 21, 100), Light(150));
}

void tst_ProgressBar::verticalSmoothFill() {
    XP_ProgressBar bar;
    bar.SetOrientation(7);
    Make(bar, XP_ProgressBar::StyleXPSmooth, 100, QSize(25, 167));
    // 100 % leaves the top at -1, trimmed to whole periods: -1 - (-168 mod 2) = -1.
    QCOMPARE(At(image_, 12, 3), Green);
    QCOMPARE(At(image_, 12, 164), Green);
}

void tst_ProgressBar::barText_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");
    QTest::newRow("percent") << 1 << 7 << "7 %";
    QTest::newRow("searching") << 2 << 55 << "Searching..";
    QTest::newRow("negative") << 3 << -5 << "-5 %";
}

void tst_ProgressBar::barText() {
    QFETCH(int, style);
    QFETCH(int, percent);
    QFETCH(QString, text);
    XP_ProgressBar bar;
    bar.SetShowText(true);
    Make(bar, style, percent);
    const QFontMetrics metrics(bar.Font());
    const int width = metrics.horizontalAdvance(text);
    const Rect rect = bar.TextRect();
    QCOMPARE(rect.right - rect.left, width);
    QCOMPARE(rect.left, int(std::nearbyint(167 / 2.0 - width / 2.0)));
    int ink = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            ink += At(image_, x, y) == Black;
    QVERIFY(ink > 0);
}

void tst_ProgressBar::twoToneText_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("percent");
    QTest::addColumn<bool>("outsideShown");
    QTest::addColumn<bool>("insideShown");
    QTest::addColumn<uint>("outside");
    QTest::addColumn<uint>("inside");
    const uint darkInside = Light(80);
    QTest::newRow("dark 0") << 6 << 0 << true << false << 0xC0C0C0u << darkInside;
    QTest::newRow("dark 50") << 6 << 50 << true << true << 0xC0C0C0u << darkInside;
    QTest::newRow("dark 100") << 6 << 100 << false << true << 0xC0C0C0u << darkInside;
    QTest::newRow("glossy 50") << 9 << 50 << true << true << 0x000000u << 0xFFFFFFu;
    QTest::newRow("glossy 100") << 9 << 100 << false << true << 0x000000u << 0xFFFFFFu;
}

void tst_ProgressBar::twoToneText() {
    QFETCH(int, style);
    QFETCH(int, percent);
    QFETCH(bool, outsideShown);
    QFETCH(bool, insideShown);
    QFETCH(uint, outside);
    QFETCH(uint, inside);
    XP_ProgressBar bar;
    bar.SetShowText(true);
    Make(bar, style, percent);
    const double edge = percent / 100.0 * 167;
    int outsidePixels = 0;
    int insidePixels = 0;
    // Text pixels are told apart by colour only: the outside colour right of
    // the fill edge, the inside colour left of it.
    for (int y = 3; y < 22; ++y)
        for (int x = 3; x < 164; ++x) {
            const ColorRef pixel = At(image_, x, y);
            if (pixel == outside) {
                QVERIFY2(x >= std::lround(edge),
                         qPrintable(QStringLiteral("outside colour at %1").arg(x)));
                ++outsidePixels;
            } else if (pixel == inside) {
                QVERIFY2(x < std::lround(edge),
                         qPrintable(QStringLiteral("inside colour at %1").arg(x)));
                ++insidePixels;
            }
        }
    QCOMPARE(outsidePixels > 0, outsideShown);
    QCOMPARE(insidePixels > 0, insideShown);
}

void tst_ProgressBar::setters() {
    XP_ProgressBar bar;
    bar.resize(167, 25);
    bar.SetHdc();
    QSignalSpy spy(&bar, &XP_ProgressBar::PropertyChanged);
    bar.SetValue(40);
    bar.SetColor(0x8000000D);
    bar.SetFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(bar.Color(), ColorRef(0xC56A31));

    const QImage before = bar.hdc()->copy();
    bar.SetMin(5);
    bar.SetMax(7);
    bar.SetBrushStyle(3);
    QCOMPARE(*bar.hdc(), before); // none of these redraws
    QCOMPARE(bar.Percent(), 40);  // nor changes the percentage
    bar.SetOrientation(1);
    bar.SetScrolling(4);
    bar.SetShowText(true);
    bar.SetImage(QImage());
    QStringList names;
    for (const auto& call : spy)
        names << call.at(0).toString();
    QCOMPARE(names, (QStringList{"Min", "Max", "BrushStyle", "Orientation", "Scrolling", "ShowText",
                                 "Image"}));
}

void tst_ProgressBar::bufferGrowsNeverShrinks() {
    QWidget window;
    XP_ProgressBar bar(&window);
    const QSize created(bar.BufferWidth(), bar.BufferHeight());
    QCOMPARE(created, bar.size());
    QVERIFY(bar.Buffered());
    const uchar* bits = bar.hdc()->constBits();
    for (int i = 0; i < 200; ++i)
        bar.SetValue(i % 101);
    QCOMPARE(bar.hdc()->constBits(), bits); // redraws reuse the image

    // A hidden widget gets its resize event only when shown; SetHdc is what
    // that event does.
    bar.resize(created.width() - 10, created.height() - 10);
    bar.SetHdc();
    QCOMPARE(QSize(bar.BufferWidth(), bar.BufferHeight()), created);
    QCOMPARE(bar.hdc()->constBits(), bits);
    bar.resize(created.width() - 10, created.height() + 5);
    bar.SetHdc();
    QCOMPARE(QSize(bar.BufferWidth(), bar.BufferHeight()),
             QSize(created.width() - 10, created.height() + 5));
    bar.resize(created.width() + 50, 3);
    bar.SetHdc();
    QCOMPARE(QSize(bar.BufferWidth(), bar.BufferHeight()), QSize(created.width() + 50, 3));
}

void tst_ProgressBar::pDrawCopiesWholeBuffer() {
    XP_ProgressBar bar;
    Make(bar, XP_ProgressBar::StyleXPBlocks, 50);
    const int w = bar.BufferWidth();
    const int h = bar.BufferHeight();
    image_ = SentinelImage(w + 2, h + 2);
    Canvas canvas(image_);
    bar.pDraw(canvas, 0, 0, 0, 0, 0, 0);
    QCOMPARE(image_.copy(0, 0, w, h), *bar.hdc());
    QCOMPARE(image_.pixel(w, 0), Sentinel);
    QCOMPARE(image_.pixel(0, h), Sentinel);
}

void tst_ProgressBar::persistenceDefaults() {
    XP_ProgressBar bar;
    PropertyBag bag;
    bar.WriteProperties(bag);
    // A new control differs from the defaults in its font, brush style and
    // (always resolved) colour only.
    QCOMPARE(bag.Keys(), (QStringList{"Font", "BrushStyle", "Color"}));
    QCOMPARE(bag.ReadProperty("Color", 0).toLongLong(), qlonglong(0xC56A31));

    XP_ProgressBar loaded;
    loaded.ReadProperties(PropertyBag());
    QCOMPARE(loaded.BrushStyle(), 4);
    QCOMPARE(loaded.Color(), ColorRef(0xC56A31));
    QCOMPARE(loaded.Max(), 100);
}

void tst_ProgressBar::persistenceRoundTrip_data() {
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("loadedPercent");
    QTest::newRow("100 of 100") << 100 << 0 << 100 << 100;
    QTest::newRow("50 with Max 200") << 200 << 0 << 50 << 25;
    QTest::newRow("Min added again") << 100 << 10 << 60 << 70;
}

void tst_ProgressBar::persistenceRoundTrip() {
    QFETCH(int, max);
    QFETCH(int, min);
    QFETCH(int, percent);
    QFETCH(int, loadedPercent);
    XP_ProgressBar bar;
    bar.resize(50, 20);
    bar.SetValue(percent);
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetScrolling(6);
    bar.SetShowText(true);
    bar.SetOrientation(1);
    bar.SetColor(0x123456);
    QImage tile(3, 3, QImage::Format_RGB32);
    tile.fill(qRgb(1, 2, 3));
    bar.SetImage(tile);
    bar.SetFont(QFont(QStringLiteral("DejaVu Serif"), 11));

    PropertyBag bag;
    bar.WriteProperties(bag);
    const PropertyBag again = PropertyBag::FromText(bag.ToText());
    QCOMPARE(again.Keys(), bag.Keys());

    XP_ProgressBar loaded;
    loaded.resize(50, 20);
    loaded.ReadProperties(again);
    QCOMPARE(loaded.Percent(), loadedPercent);
    QCOMPARE(loaded.Max(), max);
    QCOMPARE(loaded.Min(), min);
    QCOMPARE(loaded.Scrolling(), 6);
    QVERIFY(loaded.ShowText());
    QCOMPARE(loaded.Orientation(), 1);
    QCOMPARE(loaded.Color(), ColorRef(0x123456));
    QCOMPARE(loaded.BrushStyle(), 0);
    QCOMPARE(loaded.Image().convertToFormat(QImage::Format_RGB32), tile);
    QCOMPARE(loaded.Font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(loaded.Font().pointSizeF(), 11.0);
}

void tst_ProgressBar::conversionWindowInstance() {
    const PropertyBag bag = PropertyBag::FromText(Resources::ConvertProgressSettings());
    QCOMPARE(bag.Keys(), (QStringList{"Font", "BrushStyle", "Color", "Value"}));
    XP_ProgressBar bar;
    bar.resize(167, 25);
    bar.SetHdc();
    bar.ReadProperties(bag);
    QCOMPARE(bar.Percent(), 100);
    QCOMPARE(bar.Color(), Green);
    QCOMPARE(bar.BrushStyle(), 0);
    QCOMPARE(bar.Scrolling(), 0);
    QCOMPARE(bar.Font().family(), QStringLiteral("MS Sans Serif"));
    QVERIFY(!bar.ShowText());
    bar.SetValue(0);
    Render(bar);
    QCOMPARE(At(image_, 9, 12), Green);
    QCOMPARE(At(image_, 10, 12), White);
    QCOMPARE(At(image_, 12, 12), White);
}

void tst_ProgressBar::badValuesDoNotCrash() {
    const QList<QSize> sizes = {{0, 0}, {1, 1}, {2, 2}, {5, 3}, {1, 40}, {40, 1}};
    for (const QSize& size : sizes)
        for (int style : {-3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12})
            for (int orientation : {0, -1})
                for (int value : {std::numeric_limits<int>::min(), -50, 0, 100, 1000}) {
                    XP_ProgressBar bar;
                    bar.resize(size);
                    bar.SetHdc();
                    bar.SetShowText(true);
                    bar.SetBrushStyle(style * 1000);
                    bar.SetFont(QFont(QStringLiteral("No Such Font Anywhere"), 30));
                    bar.SetOrientation(orientation);
                    bar.SetScrolling(style);
                    bar.SetMax(value == 1000 ? 0 : 100);
                    bar.SetValue(value);
                    image_ = SentinelImage(size.width() + 2, size.height() + 2);
                    Canvas canvas(image_);
                    bar.Render(canvas);
                    bar.repaint();
                    // Every pixel of the control is drawn, and none outside it.
                    for (int y = 0; y < image_.height(); ++y)
                        for (int x = 0; x < image_.width(); ++x) {
                            const bool inside = x < size.width() && y < size.height();
                            if ((image_.pixel(x, y) == Sentinel) == inside)
                                QFAIL(qPrintable(QString("pixel %1,%2 of %3x%4, style %5, "
                                                         "orientation %6, value %7 is %8")
                                                     .arg(x)
                                                     .arg(y)
                                                     .arg(size.width())
                                                     .arg(size.height())
                                                     .arg(style)
                                                     .arg(orientation)
                                                     .arg(value)
                                                     .arg(inside ? "not drawn" : "drawn")));
                        }
                }
    image_ = QImage();
}

namespace {

std::vector<int> valuesTold;

void TakeValueChanges(QAccessibleEvent* event) {
    if (event->type() == QAccessible::ValueChanged)
        valuesTold.push_back(static_cast<QAccessibleValueChangeEvent*>(event)->value().toInt());
}

} // namespace

// A screen reader finds a progress bar whose value is the percentage shown,
// and hears each change of it, not the steps that leave it as it is.
void tst_ProgressBar::toldToAssistiveTechnology() {
    XP_ProgressBar bar;
    bar.resize(167, 25);
    bar.SetMax(100);
    bar.SetMin(0);
    bar.SetValue(42);
    QAccessibleInterface* told = QAccessible::queryAccessibleInterface(&bar);
    QVERIFY(told);
    QCOMPARE(told->role(), QAccessible::ProgressBar);
    QAccessibleValueInterface* value = told->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toInt(), 42);
    QCOMPARE(value->minimumValue().toInt(), 0);
    QCOMPARE(value->maximumValue().toInt(), 100);
    QCOMPARE(told->text(QAccessible::Value), QStringLiteral("42%"));

    // The changes reach the handler only where the platform has an
    // accessibility bridge (xcb's AT-SPI, Windows' UI Automation), not on
    // the offscreen platform.
    valuesTold.clear();
    QAccessible::installUpdateHandler(TakeValueChanges);
    QAccessible::setActive(true);
    bar.SetValue(42);
    bar.SetValue(66);
    bar.SetValue(100);
    const bool bridged = QAccessible::isActive();
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::setActive(false);
    QCOMPARE(bar.Percent(), 100);
    if (bridged)
        QCOMPARE(valuesTold, (std::vector<int>{66, 100}));
}

QTEST_MAIN(tst_ProgressBar)
#include "tst_progressbar.moc"
