// make-art: draws Kestrix's icon (a cartridge with a K) and its 374 x 161 logo.

#include "SafeFile.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include <cstdio>

namespace {

const QColor Navy(0x14, 0x21, 0x3D);
const QColor Blue(0x1F, 0x4E, 0x9A);
const QColor Amber(0xF4, 0xA2, 0x1C);

// A cartridge in a square of the given size, at the origin.
void DrawCartridge(QPainter& p, qreal s) {
    QPainterPath body;
    body.moveTo(0.12 * s, 0.06 * s);
    body.lineTo(0.88 * s, 0.06 * s);
    body.lineTo(0.88 * s, 0.80 * s);
    body.lineTo(0.80 * s, 0.80 * s);
    body.lineTo(0.80 * s, 0.94 * s);
    body.lineTo(0.20 * s, 0.94 * s);
    body.lineTo(0.20 * s, 0.80 * s);
    body.lineTo(0.12 * s, 0.80 * s);
    body.closeSubpath();
    QLinearGradient shade(0, 0, s, s);
    shade.setColorAt(0, QColor(0x3A, 0x45, 0x5C));
    shade.setColorAt(1, QColor(0x1B, 0x22, 0x30));
    p.setPen(QPen(QColor(0x0B, 0x10, 0x1A), qMax(1.0, s / 32)));
    p.setBrush(shade);
    p.drawPath(body);
    // The label.
    const QRectF label(0.22 * s, 0.14 * s, 0.56 * s, 0.48 * s);
    QLinearGradient paper(label.topLeft(), label.bottomLeft());
    paper.setColorAt(0, Amber.lighter(115));
    paper.setColorAt(1, Amber.darker(110));
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawRoundedRect(label, s / 24, s / 24);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(int(0.40 * s));
    p.setFont(font);
    p.setPen(Navy);
    p.drawText(label, Qt::AlignCenter, QStringLiteral("K"));
    // The contacts.
    p.setBrush(QColor(0xD9, 0xB3, 0x4A));
    const int pins = s >= 64 ? 8 : 4;
    const qreal width = 0.56 * s / (2 * pins);
    for (int i = 0; i < pins; ++i)
        p.drawRect(QRectF(0.22 * s + (2 * i + 0.5) * width, 0.84 * s, width, 0.08 * s));
}

QImage Icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawCartridge(p, size);
    return image;
}

QImage Logo() {
    QImage image(374, 161, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 161);
    sky.setColorAt(0, Navy);
    sky.setColorAt(1, Blue);
    p.fillRect(image.rect(), sky);
    // Fine scan lines, a nod to the screens these games ran on.
    p.setPen(QColor(255, 255, 255, 14));
    for (int y = 0; y < 161; y += 3)
        p.drawLine(0, y, 374, y);

    p.save();
    p.translate(22, 24);
    DrawCartridge(p, 112);
    p.restore();

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setBold(true);
    title.setPixelSize(40);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(146, 30, 220, 56), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("KESTRIX"));

    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setPixelSize(11);
    p.setFont(subtitle);
    p.setPen(QColor(0xC8, 0xD8, 0xF0));
    p.drawText(QRect(148, 84, 222, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Genesis / Mega Drive ROM converter"));

    // The three layouts as chips.
    QFont chip(QStringLiteral("DejaVu Sans Mono"));
    chip.setBold(true);
    chip.setPixelSize(12);
    p.setFont(chip);
    int x = 148;
    for (const char* name : {"BIN", "SMD", "MD"}) {
        const QRect box(x, 112, name[2] ? 44 : 36, 20);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 36));
        p.drawRoundedRect(box, 4, 4);
        p.setPen(Amber);
        p.drawText(box, Qt::AlignCenter, QString::fromLatin1(name));
        x += box.width() + 10;
    }
    return image;
}

} // namespace

bool Save(const QImage& image, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QString why = QStringLiteral("the picture cannot be made");
    if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")) {
        const EngineError written = SafeFile::WriteFile(path, bytes, SafeFile::Existing::Replace);
        if (!written.Failed())
            return true;
        why = written.Text();
    }
    std::fprintf(stderr, "make-art: cannot write %s: %s\n", qPrintable(path), qPrintable(why));
    return false;
}

// The icon drawn by the same code into an SVG document of 256 units.
bool SaveSvg(const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(256, 256));
    svg.setViewBox(QRect(0, 0, 256, 256));
    svg.setTitle(QStringLiteral("Kestrix"));
    svg.setDescription(QStringLiteral("A cartridge with a K"));
    {
        QPainter p(&svg);
        p.setRenderHint(QPainter::Antialiasing);
        DrawCartridge(p, 256);
    }
    const EngineError written = SafeFile::WriteFile(path, bytes, SafeFile::Existing::Replace);
    if (!written.Failed())
        return true;
    const QString why = written.Text();
    std::fprintf(stderr, "make-art: cannot write %s: %s\n", qPrintable(path), qPrintable(why));
    return false;
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    // make-art --icons DIR: the icon theme's sizes, as DIR/NxN/apps/ID.png,
    // and the scalable icon, DIR/scalable/apps/ID.svg.
    if (args.value(0) == QLatin1String("--icons")) {
        const QString theme = args.value(1, QStringLiteral("."));
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString folder = QStringLiteral("%1/%2x%2/apps").arg(theme).arg(size);
            if (!QDir().mkpath(folder) ||
                !Save(Icon(size), folder + QStringLiteral("/org.example.Kestrix.png")))
                return 1;
        }
        const QString folder = theme + QStringLiteral("/scalable/apps");
        return QDir().mkpath(folder) && SaveSvg(folder + QStringLiteral("/org.example.Kestrix.svg"))
                   ? 0
                   : 1;
    }
    const QString folder = args.value(0, QStringLiteral("."));
    const bool ok = Save(Icon(32), folder + QStringLiteral("/kestrix-icon-32.png")) &&
                    Save(Icon(256), folder + QStringLiteral("/kestrix-icon-256.png")) &&
                    Save(Logo(), folder + QStringLiteral("/kestrix-logo.png"));
    return ok ? 0 : 1;
}
