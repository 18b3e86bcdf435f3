// make-patches DIR [COUNT]: writes into DIR a 4 MiB image (big.bin) with a
// BPS patch of about 1 MiB (big.bps) made for it, a UPS patch (big.ups) that
// makes the same, and COUNT (default 200)
// images of 1 MiB (imageN.smd, as SMD) each with an IPS patch of its own
// (imageN.ips), for timing `kestrix-convert patch`.

#include "PatchWriters.h"
#include "RomImages.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

const char* const Usage =
    "usage: make-patches DIR [COUNT]\n"
    "Writes big.bin (4 MiB), big.bps (about 1 MiB) and big.ups, and COUNT (default\n"
    "200) SMD images of 1 MiB each with an IPS patch of its own, into DIR.\n";

constexpr qsizetype MiB = 1 << 20;

// A hack of an image: its second MiB new, a few bytes changed elsewhere.
QByteArray Hacked(const QByteArray& plain, quint32 seed, qsizetype fresh) {
    QByteArray t = plain;
    RomImages::PutText(t, 0x150, "KESTRIX PATCHED CART", 48);
    t.replace(MiB, fresh, TestFiles::RandomBytes(fresh, seed));
    for (qsizetype at = 0x4000; at < t.size(); at += 0x10001)
        t[at] = char(t[at] ^ 0x5A);
    return t;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool countOk = true;
    const int count = args.size() > 2 ? args.at(2).toInt(&countOk) : 200;
    if (args.size() < 2 || args.size() > 3 || args.at(1).startsWith(QLatin1Char('-')) || !countOk ||
        count < 0) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const QDir dir(args.at(1));
    if (!QDir().mkpath(dir.path()))
        return 1;
    const QByteArray big = RomImages::PlainImage(4 * MiB, 1);
    const QByteArray hacked = Hacked(big, 2, MiB - 4096);
    bool ok = TestFiles::WriteFile(dir.filePath("big.bin"), big) &&
              TestFiles::WriteFile(dir.filePath("big.bps"), PatchWriters::Bps(big, hacked)) &&
              TestFiles::WriteFile(dir.filePath("big.ups"), PatchWriters::Ups(big, hacked));
    for (int i = 0; ok && i < count; ++i) {
        const QByteArray plain = RomImages::PlainImage(MiB, quint32(100 + i));
        const QString name = QStringLiteral("image%1").arg(i, 3, 10, QLatin1Char('0'));
        ok = TestFiles::WriteFile(dir.filePath(name + ".smd"), RomImages::Smd(plain)) &&
             TestFiles::WriteFile(dir.filePath(name + ".ips"),
                                  PatchWriters::Ips(plain, Hacked(plain, quint32(i), 65536)));
    }
    return ok ? 0 : 1;
}
