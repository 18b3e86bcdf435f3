// make-rom-library DIR [COUNT]: writes COUNT (default 1000) cartridge images
// of 256 KiB to 4 MiB with a real header and checksum into DIR, in turn plain,
// SMD, MD and byteswapped, for timing `kestrix-convert info`.

#include "ConversionJob.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QtEndian>

#include <cstdio>

namespace {

const char* const Usage =
    "usage: make-rom-library DIR [COUNT]\n"
    "Writes COUNT (default 1000) cartridge images of 256 KiB to 4 MiB with a real\n"
    "header and checksum into DIR, which must be new or empty, in turn plain,\n"
    "SMD, MD and byteswapped.\n";

// Writes a plain image's file in a layout, through a job of that one file.
bool ToLayout(RomLayout layout, const QString& plain, const QString& name) {
    class Told : public JobObserver {
    public:
        void Done(const FileReport& report) override { written = report.written; }
        bool written = false;
    } told;
    JobRequest request;
    request.task = JobTask::ToLayout;
    request.target = layout;
    request.threads = 1;
    JobSource file;
    file.path = plain;
    file.destination = name;
    ConversionJob(request, told).Run({file});
    return told.written;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(Usage, stdout);
        return 0;
    }
    bool countOk = true;
    const int count = args.size() > 2 ? args.at(2).toInt(&countOk) : 1000;
    if (args.size() < 2 || args.size() > 3 || args.at(1).startsWith(QLatin1Char('-')) || !countOk ||
        count < 1) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const QDir dir(args.at(1));
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        std::fprintf(stderr, "make-rom-library: %s is not empty\n", qPrintable(dir.path()));
        return 2;
    }
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "make-rom-library: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }
    QRandomGenerator random(1000);
    const RomLayout layouts[] = {RomLayout::Plain, RomLayout::Smd, RomLayout::Md,
                                 RomLayout::Byteswapped};
    const char* extensions[] = {".bin", ".smd", ".md", ".bin"};
    for (int i = 0; i < count; ++i) {
        const qsizetype size = qsizetype(256 * 1024) << random.bounded(5);
        QByteArray image(size, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(image.data()), size / 4);
        image.replace(0x100, 16, "SEGA MEGA DRIVE ");
        image.replace(0x150, 16, "LIBRARY IMAGE   ");
        quint32 sum = 0;
        for (qsizetype k = 0x200; k < size; k += 2)
            sum += quint32(quint8(image[k])) << 8 | quint8(image[k + 1]);
        qToBigEndian<quint16>(quint16(sum), image.data() + 0x18E);
        const QString plain = dir.filePath(QStringLiteral("plain.tmp"));
        const QString name = dir.filePath(
            QStringLiteral("rom%1%2").arg(i, 4, 10, QChar('0')).arg(extensions[i % 4]));
        if (SafeFile::WriteFile(plain, image, SafeFile::Existing::Replace).Failed() ||
            !ToLayout(layouts[i % 4], plain, name)) {
            std::fprintf(stderr, "make-rom-library: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    QFile::remove(dir.filePath(QStringLiteral("plain.tmp")));
    return 0;
}
