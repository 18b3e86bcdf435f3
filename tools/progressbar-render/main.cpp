// progressbar-render: draws one progress bar into a PNG file, or a gallery of
// every look.

#include "Canvas.h"
#include "SafeFile.h"
#include "XP_ProgressBar.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const UsageText =
    "Usage: progressbar-render [options] --out FILE\n"
    "       progressbar-render --gallery DIR\n"
    "\n"
    "Options:\n"
    "  --style N          look 0 to 9 (other values draw like 1)\n"
    "  --percent P        fill percentage\n"
    "  --value V          value, mapped with --min and --max (defaults 0 and 100)\n"
    "  --min A, --max B   range of --value\n"
    "  --size WxH         size in pixels (default 167x25)\n"
    "  --color 0xBBGGRR   bar colour (default: the highlight colour)\n"
    "  --orientation N    0 horizontal, anything else vertical\n"
    "  --show-text        draw the percentage text\n"
    "  --brush-style N    hatch style 0 to 5 of look 7\n"
    "  --image PNG        pattern picture of look 8\n"
    "  --out FILE         the PNG file to write (- for standard output)\n"
    "  --gallery DIR      write every look at 0, 33, 66 and 100 percent, both\n"
    "                     orientations, plus contact-sheet.png\n";

QTextStream& Err() {
    static QTextStream stream(stderr);
    return stream;
}

struct Options {
    std::int32_t style = 0;
    std::optional<std::int32_t> percent;
    std::optional<std::int32_t> value;
    std::int32_t min = 0;
    std::int32_t max = 100;
    QSize size{167, 25};
    std::optional<ColorRef> color;
    std::int32_t orientation = 0;
    bool showText = false;
    std::int32_t brushStyle = 0;
    QImage image;
};

QImage Render(const Options& options) {
    XP_ProgressBar bar;
    bar.resize(options.size);
    bar.SetHdc();
    if (options.color)
        bar.SetColor(*options.color);
    bar.SetScrolling(options.style);
    bar.SetOrientation(options.orientation);
    bar.SetShowText(options.showText);
    bar.SetBrushStyle(options.brushStyle);
    if (!options.image.isNull())
        bar.SetImage(options.image);
    if (options.value) {
        bar.SetMax(options.max);
        bar.SetMin(options.min);
        bar.SetValue(*options.value);
    } else {
        bar.SetValue(options.percent.value_or(0));
    }
    QImage image(options.size, QImage::Format_RGB32);
    image.fill(Qt::white);
    Canvas canvas(image);
    bar.Render(canvas);
    return image;
}

// Encodes a picture as PNG and writes it in one piece, replacing an older
// file only once the new one is complete.
bool SavePng(const QImage& image, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QString why = QStringLiteral("cannot encode the picture");
    if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")) {
        if (path == QLatin1String("-")) {
            // Errors of standard output are told once, at the end.
            std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
            return true;
        }
        const EngineError written = SafeFile::WriteFile(path, bytes, SafeFile::Existing::Replace);
        if (!written.Failed())
            return true;
        why = written.Text();
    }
    Err() << "progressbar-render: cannot write "
          << (path == QLatin1String("-") ? QStringLiteral("standard output")
                                         : SafeFile::Printable(path))
          << ": " << why << "\n";
    return false;
}

// Why a picture cannot be read from a file named by its bytes, or nothing;
// the picture in *image.
QString Unread(const QString& path, QImage* image) {
    const SafeFile::Source source(path);
    if (!source.IsOpen())
        return source.Error().Text();
    QByteArray bytes(source.Size(), Qt::Uninitialized);
    if (!source.ReadAt(0, bytes.data(), bytes.size()))
        return QStringLiteral("the file cannot be read");
    if (!image->loadFromData(bytes))
        return QStringLiteral("it is not a picture this program can read");
    return QString();
}

// A picture read from a file, or a null one, told why.
QImage ReadImage(const QString& path) {
    QImage image;
    if (const QString why = Unread(path, &image); !why.isEmpty()) {
        Err() << "progressbar-render: cannot read image " << SafeFile::Printable(path) << ": "
              << why << "\n";
        return QImage();
    }
    return image;
}

const char* const StyleNames[10] = {"XP blocks", "XP smooth", "XP searching", "Flat",    "Etched",
                                    "Shaded",    "Dark",      "Hatched",      "Pattern", "Glossy"};

QImage Checker() {
    QImage tile(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            tile.setPixel(x, y, ((x / 4 + y / 4) % 2) ? qRgb(0, 120, 0) : qRgb(170, 230, 170));
    return tile;
}

int Gallery(const QString& folder) {
    if (SafeFile::MakeFolders(folder).Failed()) {
        Err() << "progressbar-render: cannot create folder " << SafeFile::Printable(folder) << "\n";
        return 1;
    }
    const int percents[4] = {0, 33, 66, 100};
    const QSize horizontal(167, 25);
    const QSize vertical(25, 100);
    const int labelWidth = 120;
    const int rowHeight = vertical.height() + 12;
    QImage sheet(labelWidth + 4 * (horizontal.width() + 10) + 4 * (vertical.width() + 10) + 10,
                 30 + 10 * rowHeight, QImage::Format_RGB32);
    sheet.fill(qRgb(240, 240, 240));
    QPainter painter(&sheet);
    painter.setPen(Qt::black);
    for (int i = 0; i < 4; ++i) {
        painter.drawText(labelWidth + i * (horizontal.width() + 10), 20,
                         QStringLiteral("%1 %").arg(percents[i]));
        painter.drawText(labelWidth + 4 * (horizontal.width() + 10) + i * (vertical.width() + 10),
                         20, QString::number(percents[i]));
    }
    for (int style = 0; style < 10; ++style) {
        const int top = 30 + style * rowHeight;
        painter.drawText(8, top + 16, QStringLiteral("%1 %2").arg(style).arg(StyleNames[style]));
        for (int i = 0; i < 4; ++i) {
            Options options;
            options.style = style;
            options.percent = percents[i];
            options.color = 0x00C000;
            options.brushStyle = 2;
            options.image = Checker();
            options.showText = true;
            options.size = horizontal;
            const QImage across = Render(options);
            options.showText = false;
            options.orientation = 1;
            options.size = vertical;
            const QImage down = Render(options);
            const QString stem = QStringLiteral("%1/style%2-%3-%4.png").arg(folder).arg(style);
            if (!SavePng(across, stem.arg("h").arg(percents[i])) ||
                !SavePng(down, stem.arg("v").arg(percents[i])))
                return 1;
            painter.drawImage(labelWidth + i * (horizontal.width() + 10), top, across);
            painter.drawImage(labelWidth + 4 * (horizontal.width() + 10) +
                                  i * (vertical.width() + 10),
                              top, down);
        }
    }
    painter.end();
    return SavePng(sheet, folder + QStringLiteral("/contact-sheet.png")) ? 0 : 1;
}

std::optional<std::int32_t> Number(const QString& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 0);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int32_t(value);
}

int Usage(const QString& why) {
    Err() << "progressbar-render: " << why << "\n" << UsageText;
    return 2;
}

// 0xBBGGRR.
std::optional<ColorRef> ColorOf(const QString& text) {
    bool ok = false;
    const qulonglong color = text.toULongLong(&ok, 0);
    if (!ok || color > 0xFFFFFFFFull)
        return std::nullopt;
    return ColorRef(color);
}

// WxH, each from 1 to 10000.
std::optional<QSize> SizeOf(const QString& text) {
    const QStringList parts = text.split('x');
    const auto w = Number(parts.value(0));
    const auto h = Number(parts.value(1));
    if (parts.size() != 2 || !w || !h || *w < 1 || *h < 1 || *w > 10000 || *h > 10000)
        return std::nullopt;
    return QSize(*w, *h);
}

// Sets the property a numeric option names; false for an option that is none.
bool SetNumber(Options& options, const QString& arg, std::int32_t value) {
    if (arg == QLatin1String("--percent"))
        options.percent = value;
    else if (arg == QLatin1String("--value"))
        options.value = value;
    else if (std::int32_t* field = arg == QLatin1String("--style")         ? &options.style
                                   : arg == QLatin1String("--min")         ? &options.min
                                   : arg == QLatin1String("--max")         ? &options.max
                                   : arg == QLatin1String("--orientation") ? &options.orientation
                                   : arg == QLatin1String("--brush-style") ? &options.brushStyle
                                                                           : nullptr)
        *field = value;
    else
        return false;
    return true;
}

int Run(const QStringList& args) {
    Options options;
    QString out;
    QString gallery;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        auto next = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args.at(++i);
        };
        auto number = [&]() -> std::optional<std::int32_t> {
            const auto text = next();
            return text ? Number(*text) : std::nullopt;
        };
        if (arg == QLatin1String("--help")) {
            std::fputs(UsageText, stdout);
            return 0;
        } else if (arg == QLatin1String("--show-text")) {
            options.showText = true;
        } else if (arg == QLatin1String("--size")) {
            const std::optional<QSize> size = SizeOf(next().value_or(QString()));
            if (!size)
                return Usage(QStringLiteral("--size takes WxH, each from 1 to 10000"));
            options.size = *size;
        } else if (arg == QLatin1String("--out") || arg == QLatin1String("--gallery") ||
                   arg == QLatin1String("--image")) {
            const auto path = next();
            if (!path)
                return Usage(arg + QStringLiteral(" needs a path"));
            if (arg == QLatin1String("--out")) {
                out = *path;
            } else if (arg == QLatin1String("--gallery")) {
                gallery = *path;
            } else {
                options.image = ReadImage(*path);
                if (options.image.isNull())
                    return 1;
            }
        } else if (arg == QLatin1String("--color")) {
            options.color = ColorOf(next().value_or(QString()));
            if (!options.color)
                return Usage(QStringLiteral("--color takes 0xBBGGRR"));
        } else {
            const auto value = number();
            if (!value)
                return Usage(
                    QStringLiteral("%1 needs a 32-bit number").arg(SafeFile::Printable(arg)));
            if (!SetNumber(options, arg, *value))
                return Usage(QStringLiteral("unknown option '%1'").arg(SafeFile::Printable(arg)));
        }
    }

    if (!gallery.isEmpty())
        return Gallery(gallery);
    if (out.isEmpty())
        return Usage(QStringLiteral("--out or --gallery is required"));
    return SavePng(Render(options), out) ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    // The tool never shows a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Our options are read before QApplication sees them: it would take
    // --style for itself. Names are taken as the bytes they are.
    const QStringList args = SafeFile::DecodeArguments(argc, argv);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    SafeFile::RemoveTemporaryOnSignals();
    const int status = Run(args);

    // Whatever could not be written to the standard streams fails the run.
    // Closing the descriptor tells of errors that a file system reports late.
    Err().flush();
    const bool outputLost =
        std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || ::close(STDOUT_FILENO) != 0;
    if (outputLost)
        std::fprintf(stderr, "progressbar-render: cannot write standard output: %s\n",
                     std::strerror(errno));
    const bool errorsLost =
        std::fflush(stderr) != 0 || std::ferror(stderr) != 0 || ::close(STDERR_FILENO) != 0;
    return (outputLost || errorsLost) && status == 0 ? 1 : status;
}
