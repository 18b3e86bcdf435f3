#include "Canvas.h"
#include "PixelTest.h"

#include <QGuiApplication>
#include <QTest>

using PixelTest::At;
using PixelTest::Sentinel;
using PixelTest::SentinelImage;

class tst_Canvas : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { PixelTest::UseFixedPalette(); }
    void cleanup() { PixelTest::SaveIfFailed(image_); }
    void line_data();
    void line();
    void fillExcludesRightAndBottom();
    void frameIsInside();
    void clipsToImage();
    void hatch_data();
    void hatch();
    void hatchOutsideStylesFillsSolid();
    void patternTilesFromOrigin();
    void edges_data();
    void edges();
    void systemColors();
    void textIsClippedToItsRectangle();

private:
    QImage image_;
};

void tst_Canvas::line_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QList<QPoint>>("painted");
    QTest::newRow("rightwards") << QPoint(2, 1) << QPoint(5, 1)
                                << QList<QPoint>{{2, 1}, {3, 1}, {4, 1}};
    QTest::newRow("leftwards") << QPoint(5, 1) << QPoint(2, 1)
                               << QList<QPoint>{{5, 1}, {4, 1}, {3, 1}};
    QTest::newRow("downwards") << QPoint(1, 1) << QPoint(1, 3) << QList<QPoint>{{1, 1}, {1, 2}};
    QTest::newRow("upwards") << QPoint(1, 3) << QPoint(1, 1) << QList<QPoint>{{1, 3}, {1, 2}};
    QTest::newRow("diagonal") << QPoint(0, 0) << QPoint(3, 3)
                              << QList<QPoint>{{0, 0}, {1, 1}, {2, 2}};
    QTest::newRow("single point") << QPoint(2, 2) << QPoint(2, 2) << QList<QPoint>{};
}

void tst_Canvas::line() {
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QList<QPoint>, painted);
    image_ = SentinelImage(8, 6);
    Canvas canvas(image_);
    canvas.Line(from.x(), from.y(), to.x(), to.y(), 0x0000FF);
    for (int y = 0; y < image_.height(); ++y)
        for (int x = 0; x < image_.width(); ++x)
            QCOMPARE(image_.pixel(x, y) == Sentinel, !painted.contains(QPoint(x, y)));
    for (const QPoint& p : painted)
        QCOMPARE(At(image_, p.x(), p.y()), ColorRef(0x0000FF));
}

void tst_Canvas::fillExcludesRightAndBottom() {
    image_ = SentinelImage(6, 6);
    Canvas canvas(image_);
    canvas.FillRect({1, 1, 4, 3}, 0x123456);
    QCOMPARE(At(image_, 1, 1), ColorRef(0x123456));
    QCOMPARE(At(image_, 3, 2), ColorRef(0x123456));
    QCOMPARE(image_.pixel(4, 2), Sentinel);
    QCOMPARE(image_.pixel(3, 3), Sentinel);
    QCOMPARE(image_.pixel(0, 0), Sentinel);
    // An empty or turned-round rectangle paints nothing.
    canvas.FillRect({5, 5, 4, 4}, 0);
    QCOMPARE(image_.pixel(4, 4), Sentinel);
}

void tst_Canvas::frameIsInside() {
    image_ = SentinelImage(6, 6);
    Canvas canvas(image_);
    canvas.FrameRect({1, 1, 5, 5}, 0x00FF00);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool border =
                (x == 1 || x == 4 || y == 1 || y == 4) && x >= 1 && x <= 4 && y >= 1 && y <= 4;
            QCOMPARE(image_.pixel(x, y) != Sentinel, border);
        }
}

void tst_Canvas::clipsToImage() {
    image_ = SentinelImage(4, 4);
    Canvas canvas(image_);
    canvas.FillRect({-10, -10, 100, 100}, 0x010203);
    canvas.SetPixel(-1, 0, 0);
    canvas.SetPixel(4, 0, 0);
    canvas.HatchRect({-3, -3, 20, 20}, HatchCross, 0);
    canvas.DrawEdge({-2, -2, 30, 30}, EdgeBump, SidesAll);
    canvas.PatternRect(-4, -4, 40, 40, QImage(2, 2, QImage::Format_RGB32));
    canvas.Line(-5, 2, 50, 2, 0x0A0B0C);
    QCOMPARE(At(image_, 0, 2), ColorRef(0x0A0B0C));
    QCOMPARE(At(image_, 3, 2), ColorRef(0x0A0B0C));
}

void tst_Canvas::hatch_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("horizontal") << 0 << QList<int>{0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00};
    QTest::newRow("vertical") << 1 << QList<int>{0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08};
    QTest::newRow("forward diagonal")
        << 2 << QList<int>{0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
    QTest::newRow("backward diagonal")
        << 3 << QList<int>{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
    QTest::newRow("cross") << 4 << QList<int>{0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08};
    QTest::newRow("diagonal cross")
        << 5 << QList<int>{0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
}

void tst_Canvas::hatch() {
    QFETCH(int, style);
    QFETCH(QList<int>, rows);
    // Opaque: clear bits in the background colour; the pattern is aligned to
    // the image origin, not to the rectangle.
    image_ = SentinelImage(20, 20);
    Canvas canvas(image_);
    canvas.SetBackgroundColor(0x0000FF);
    canvas.HatchRect({3, 2, 19, 18}, style, 0x00FF00);
    for (int y = 2; y < 18; ++y)
        for (int x = 3; x < 19; ++x) {
            const bool set = rows[y % 8] & (0x80 >> (x % 8));
            QCOMPARE(At(image_, x, y), ColorRef(set ? 0x00FF00 : 0x0000FF));
        }
    QCOMPARE(image_.pixel(2, 2), Sentinel);
    QCOMPARE(image_.pixel(19, 17), Sentinel);

    // Transparent: clear bits leave what was there.
    image_ = SentinelImage(8, 8);
    Canvas transparent(image_);
    transparent.SetBackgroundMode(BackgroundMode::Transparent);
    transparent.HatchRect({0, 0, 8, 8}, style, 0x00FF00);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            QCOMPARE(image_.pixel(x, y) == Sentinel, !(rows[y] & (0x80 >> x)));
}

void tst_Canvas::hatchOutsideStylesFillsSolid() {
    for (int style : {-1, 6, 99}) {
        image_ = SentinelImage(4, 4);
        Canvas canvas(image_);
        canvas.HatchRect({0, 0, 4, 4}, style, 0x336699);
        QCOMPARE(At(image_, 3, 3), ColorRef(0x336699));
    }
}

void tst_Canvas::patternTilesFromOrigin() {
    QImage tile(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            tile.setPixel(x, y, qRgb(x * 10, y * 10, 5));
    image_ = SentinelImage(10, 6);
    Canvas canvas(image_);
    canvas.PatternRect(2, 1, 5, 3, tile);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 7 && y >= 1 && y < 4;
            if (inside)
                QCOMPARE(image_.pixel(x, y), tile.pixel(x % 3, y % 2));
            else
                QCOMPARE(image_.pixel(x, y), Sentinel);
        }
}

void tst_Canvas::edges_data() {
    QTest::addColumn<int>("edge");
    QTest::addColumn<int>("outerTopLeft");
    QTest::addColumn<int>("outerBottomRight");
    QTest::addColumn<int>("innerTopLeft");
    QTest::addColumn<int>("innerBottomRight");
    QTest::addColumn<bool>("hasInner");
    const int light = 0xFFFFFF, midlight = 0xE3E3E3, dark = 0xA0A0A0, shadow = 0x696969;
    QTest::newRow("etched") << int(EdgeEtched) << dark << light << light << dark << true;
    QTest::newRow("bump") << int(EdgeBump) << midlight << shadow << shadow << midlight << true;
    QTest::newRow("sunken outer") << int(SunkenOuter) << dark << light << 0 << 0 << false;
}

void tst_Canvas::edges() {
    QFETCH(int, edge);
    QFETCH(int, outerTopLeft);
    QFETCH(int, outerBottomRight);
    QFETCH(int, innerTopLeft);
    QFETCH(int, innerBottomRight);
    QFETCH(bool, hasInner);
    image_ = SentinelImage(10, 8);
    Canvas canvas(image_);
    canvas.DrawEdge({0, 0, 10, 8}, edge, SidesAll);
    QCOMPARE(At(image_, 0, 0), ColorRef(outerTopLeft));
    QCOMPARE(At(image_, 5, 0), ColorRef(outerTopLeft));
    QCOMPARE(At(image_, 0, 4), ColorRef(outerTopLeft));
    QCOMPARE(At(image_, 9, 0), ColorRef(outerBottomRight));
    QCOMPARE(At(image_, 0, 7), ColorRef(outerBottomRight));
    QCOMPARE(At(image_, 9, 7), ColorRef(outerBottomRight));
    if (hasInner) {
        QCOMPARE(At(image_, 1, 1), ColorRef(innerTopLeft));
        QCOMPARE(At(image_, 8, 6), ColorRef(innerBottomRight));
    } else {
        QCOMPARE(image_.pixel(1, 1), Sentinel);
    }
    QCOMPARE(image_.pixel(4, 4), Sentinel);
}

void tst_Canvas::systemColors() {
    QCOMPARE(SysColor(ColorHighlight), ColorRef(0xC56A31));
    QCOMPARE(ResolveColor(0x8000000D), ColorRef(0xC56A31));
    QCOMPARE(ResolveColor(0x00123456), ColorRef(0x00123456));
}

void tst_Canvas::textIsClippedToItsRectangle() {
    image_ = SentinelImage(60, 20);
    Canvas canvas(image_);
    canvas.SelectFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    canvas.SetBackgroundMode(BackgroundMode::Transparent);
    canvas.SetTextColor(0x000000);
    const QSize size = canvas.MeasureText(QStringLiteral("WWWW"));
    QVERIFY(size.width() > 10 && size.height() > 5);
    canvas.DrawText({5, 2, 15, 2 + size.height()}, QStringLiteral("WWWW"));
    int inked = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            if (image_.pixel(x, y) == Sentinel)
                continue;
            QVERIFY2(x >= 5 && x < 15, qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
            QCOMPARE(At(image_, x, y), ColorRef(0x000000));
            ++inked;
        }
    QVERIFY(inked > 0);
}

QTEST_MAIN(tst_Canvas)
#include "tst_canvas.moc"
