#pragma once

// Helpers for pixel-exact tests: images pre-filled with a sentinel colour, a
// fixed palette, and the actual image saved when a test fails.

#include "Canvas.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QRegularExpression>
#include <QTest>

namespace PixelTest {

inline constexpr QRgb Sentinel = 0xFFFF00FF; // magenta, drawn by nothing

inline QImage SentinelImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Sentinel);
    return image;
}

inline ColorRef At(const QImage& image, int x, int y) {
    return FromRgb(image.pixel(x, y));
}

// A palette whose system colours are known numbers.
inline void UseFixedPalette() {
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(0x31, 0x6A, 0xC5));
    palette.setColor(QPalette::Light, QColor(0xFF, 0xFF, 0xFF));
    palette.setColor(QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3));
    palette.setColor(QPalette::Dark, QColor(0xA0, 0xA0, 0xA0));
    palette.setColor(QPalette::Shadow, QColor(0x69, 0x69, 0x69));
    QGuiApplication::setPalette(palette);
}

// Saves the image in the current folder when the running test has failed.
inline void SaveIfFailed(const QImage& image) {
    if (!QTest::currentTestFailed() || image.isNull())
        return;
    QString name = QStringLiteral("actual-%1-%2.png")
                       .arg(QString::fromLatin1(QTest::currentTestFunction()),
                            QString::fromLatin1(QTest::currentDataTag()));
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    image.save(QDir::current().filePath(name));
    qWarning("actual image saved as %s", qPrintable(QDir::current().filePath(name)));
}

} // namespace PixelTest
