#include "RomInspector.h"

#include "FileFunctions.h"
#include "Interleave.h"
#include "SafeFile.h"

#include <QCryptographicHash>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace RomInspector {

namespace {

using FileFunctions::BlockSize;
using FileFunctions::SmdHeaderSize;

constexpr std::int64_t HeaderEnd = 0x200;
// The plain content is produced in pieces of this size (a whole number of
// SMD blocks), so memory stays small whatever the file size.
constexpr std::int64_t Piece = 1 << 20;

const std::array<RomLayout, 4> Candidates = {RomLayout::Plain, RomLayout::Smd, RomLayout::Md,
                                             RomLayout::Byteswapped};

// Whether a file of this size can hold an image of this layout.
bool SizeFits(RomLayout layout, std::int64_t size) {
    switch (layout) {
    case RomLayout::Plain:
    case RomLayout::Byteswapped:
        return size >= HeaderEnd && size % 2 == 0;
    case RomLayout::Smd:
        return size > SmdHeaderSize && (size - SmdHeaderSize) % BlockSize == 0;
    case RomLayout::Md:
        return size > 0 && size % BlockSize == 0;
    case RomLayout::Unknown:
        return size > 0;
    }
    return false;
}

std::int64_t PlainSizeOf(RomLayout layout, std::int64_t size) {
    return layout == RomLayout::Smd ? size - SmdHeaderSize : size;
}

// Produces the plain content of a file read in a layout, piece by piece.
class PlainStream {
public:
    PlainStream(const ReadAt& read, std::int64_t size, RomLayout layout)
        : read_(read), size_(size), layout_(layout), plainSize_(PlainSizeOf(layout, size)) {}

    std::int64_t PlainSize() const { return plainSize_; }

    // Fills out with plain bytes [offset, offset + bytes); offset and bytes
    // are even, and whole blocks for an SMD image but for the last piece.
    bool Get(std::int64_t offset, std::uint8_t* out, std::int64_t bytes) {
        switch (layout_) {
        case RomLayout::Unknown:
        case RomLayout::Plain:
            return read_(offset, out, bytes);
        case RomLayout::Byteswapped:
            if (!read_(offset, out, bytes))
                return false;
            Interleave::SwapWords(out, std::size_t(bytes));
            return true;
        case RomLayout::Smd: {
            Resize(bytes);
            if (!read_(SmdHeaderSize + offset, in_.data(), bytes))
                return false;
            const std::int64_t half = BlockSize / 2;
            for (std::int64_t base = 0; base < bytes; base += BlockSize) {
                const std::int64_t part = std::min(BlockSize, bytes - base) / 2;
                Interleave::Join(in_.data() + base, in_.data() + base + half, out + base,
                                 std::size_t(part));
            }
            return true;
        }
        case RomLayout::Md: {
            const std::int64_t half = bytes / 2;
            Resize(bytes);
            if (!read_(offset / 2, in_.data(), half) ||
                !read_(size_ / 2 + offset / 2, in_.data() + half, half))
                return false;
            Interleave::Join(in_.data(), in_.data() + half, out, std::size_t(half));
            return true;
        }
        }
        return false;
    }

private:
    void Resize(std::int64_t bytes) {
        if (std::int64_t(in_.size()) < bytes)
            in_.resize(std::size_t(bytes));
    }

    const ReadAt& read_;
    std::int64_t size_;
    RomLayout layout_;
    std::int64_t plainSize_;
    std::vector<std::uint8_t> in_;
};

// The first bytes of the plain image in a layout (fewer when it is shorter).
std::vector<std::uint8_t> PlainHead(const ReadAt& read, std::int64_t size, RomLayout layout) {
    PlainStream stream(read, size, layout);
    const std::int64_t bytes = std::min(HeaderEnd, stream.PlainSize()) & ~std::int64_t(1);
    std::vector<std::uint8_t> head(std::size_t(std::max<std::int64_t>(bytes, 0)));
    if (layout == RomLayout::Smd || layout == RomLayout::Md) {
        // One whole block (SMD) or the first bytes of both halves (MD).
        std::vector<std::uint8_t> piece(std::size_t(std::min(BlockSize, stream.PlainSize())));
        if (!stream.Get(0, piece.data(), std::int64_t(piece.size())))
            return {};
        std::copy_n(piece.begin(), head.size(), head.begin());
        return head;
    }
    if (!stream.Get(0, head.data(), std::int64_t(head.size())))
        return {};
    return head;
}

bool HasSega(const std::vector<std::uint8_t>& head) {
    if (head.size() < 0x110)
        return false;
    return std::search(head.begin() + 0x100, head.begin() + 0x110, "SEGA", "SEGA" + 4) !=
           head.begin() + 0x110;
}

QString Text(const std::vector<std::uint8_t>& head, std::size_t at, std::size_t length) {
    QString text;
    for (std::size_t i = at; i < at + length && i < head.size(); ++i) {
        const std::uint8_t c = head[i];
        text += c >= 0x20 && c < 0x7F ? QChar(c) : QChar('?');
    }
    return text.trimmed();
}

std::uint32_t Big32(const std::vector<std::uint8_t>& head, std::size_t at) {
    if (at + 4 > head.size())
        return 0;
    return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 |
           std::uint32_t(head[at + 2]) << 8 | head[at + 3];
}

std::uint16_t Big16(const std::vector<std::uint8_t>& head, std::size_t at) {
    return at + 2 > head.size() ? 0 : std::uint16_t(head[at] << 8 | head[at + 1]);
}

Header ReadHeader(const std::vector<std::uint8_t>& head) {
    Header header;
    header.system = Text(head, 0x100, 16);
    header.copyright = Text(head, 0x110, 16);
    header.titleDomestic = Text(head, 0x120, 48);
    header.titleOverseas = Text(head, 0x150, 48);
    header.serial = Text(head, 0x180, 14);
    header.storedChecksum = Big16(head, 0x18E);
    header.devices = Text(head, 0x190, 16);
    header.romStart = Big32(head, 0x1A0);
    header.romEnd = Big32(head, 0x1A4);
    header.region = Text(head, 0x1F0, 3);
    return header;
}

// One pass over the plain content: the header checksum and the fingerprints.
struct Digest {
    bool ok = false;
    std::uint16_t checksum = 0;
    QString crc32;
    QString md5;
    QString sha1;
};

Digest ReadPlain(const ReadAt& read, std::int64_t size, RomLayout layout, bool fingerprints,
                 const std::atomic<bool>* cancel) {
    Digest digest;
    PlainStream stream(read, size, layout);
    const std::int64_t total = stream.PlainSize();
    std::vector<std::uint8_t> piece(std::size_t(std::min(Piece, std::max<std::int64_t>(total, 2))));
    QCryptographicHash md5(QCryptographicHash::Md5);
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    uLong crc = crc32_z(0, nullptr, 0);
    std::uint64_t sum = 0;
    for (std::int64_t offset = 0; offset < total; offset += Piece) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return digest;
        const std::int64_t bytes = std::min(Piece, total - offset);
        if (!stream.Get(offset, piece.data(), bytes))
            return digest;
        // Words from 0x200 on; the pieces start at even offsets.
        const std::int64_t from = std::min(std::max<std::int64_t>(HeaderEnd - offset, 0), bytes);
        sum += Interleave::WordSum(piece.data() + from, std::size_t(bytes - from));
        if (fingerprints) {
            const auto* data = reinterpret_cast<const char*>(piece.data());
            crc = crc32_z(crc, piece.data(), std::size_t(bytes));
            md5.addData(QByteArrayView(data, bytes));
            sha1.addData(QByteArrayView(data, bytes));
        }
    }
    digest.ok = true;
    digest.checksum = std::uint16_t(sum);
    if (fingerprints) {
        digest.crc32 = QStringLiteral("%1").arg(std::uint32_t(crc), 8, 16, QLatin1Char('0'));
        digest.md5 = QString::fromLatin1(md5.result().toHex());
        digest.sha1 = QString::fromLatin1(sha1.result().toHex());
    }
    return digest;
}

ReadAt ReaderOf(const SafeFile::Source& source) {
    return [&source](std::int64_t offset, void* into, std::int64_t bytes) {
        return source.ReadAt(offset, into, bytes);
    };
}

QString ChangedWhileRead() {
    return QStringLiteral("it changed while it was read");
}

QString WhenReadAs(RomLayout layout) {
    return QStringLiteral("when read as ") + LayoutPhrase(layout);
}

} // namespace

QString Hex(std::uint32_t value, int digits) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, '0');
}

QString CertaintyName(Certainty certainty) {
    switch (certainty) {
    case Certainty::Certain:
        return QStringLiteral("certain");
    case Certainty::Likely:
        return QStringLiteral("likely");
    case Certainty::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

Report InspectData(const ReadAt& read, std::int64_t size, const Options& options) {
    const std::atomic<bool>* cancel = options.cancel;
    const auto unfinished = [cancel] {
        return cancel && cancel->load() ? QStringLiteral("the inspection was cancelled")
                                        : QStringLiteral("the file cannot be read");
    };
    Report report;
    report.size = size;
    if (size <= 0) {
        report.error = QStringLiteral("the file is empty");
        return report;
    }

    // Which layouts show the "SEGA" signature in their header.
    struct Found {
        RomLayout layout;
        std::vector<std::uint8_t> head;
        Digest digest;
    };
    std::vector<Found> found;
    for (RomLayout layout : Candidates) {
        if (!SizeFits(layout, size))
            continue;
        std::vector<std::uint8_t> head = PlainHead(read, size, layout);
        if (HasSega(head)) {
            report.reasons.append(QStringLiteral("\"SEGA\" in the header ") + WhenReadAs(layout));
            found.push_back({layout, std::move(head), {}});
        }
    }

    std::uint8_t copier[10] = {};
    const bool copierHeader =
        size >= 10 && read(0, copier, 10) && copier[8] == 0xAA && copier[9] == 0xBB;
    const bool smdSized = SizeFits(RomLayout::Smd, size);

    // The header checksum of every layout that has the signature; the
    // fingerprints too when that layout is the only one.
    for (Found& f : found) {
        f.digest =
            ReadPlain(read, size, f.layout, found.size() == 1 && options.fingerprints, cancel);
        if (!f.digest.ok) {
            report.error = unfinished();
            return report;
        }
        const std::uint16_t stored = Big16(f.head, 0x18E);
        report.reasons.append(
            stored == f.digest.checksum
                ? QStringLiteral("the header checksum %1 matches %2")
                      .arg(Hex(stored), WhenReadAs(f.layout))
                : QStringLiteral("the header checksum %1 differs from the computed %2 %3")
                      .arg(Hex(stored), Hex(f.digest.checksum), WhenReadAs(f.layout)));
    }

    const Found* chosen = nullptr;
    if (found.size() == 1) {
        chosen = &found.front();
        report.certainty = Big16(chosen->head, 0x18E) == chosen->digest.checksum
                               ? Certainty::Certain
                               : Certainty::Likely;
    } else if (found.size() > 1) {
        std::vector<const Found*> matching;
        for (const Found& f : found)
            if (Big16(f.head, 0x18E) == f.digest.checksum)
                matching.push_back(&f);
        if (matching.size() == 1) {
            chosen = matching.front();
            report.certainty = Certainty::Certain;
        } else {
            QStringList names;
            for (const Found& f : found)
                names.append(LayoutPhrase(f.layout));
            report.reasons.append(QStringLiteral("%1 fit equally well").arg(names.join(" and ")));
        }
    } else if (copierHeader && smdSized) {
        report.reasons.append(QStringLiteral("no \"SEGA\" in the header under any layout"));
        report.certainty = Certainty::Likely;
    } else {
        report.reasons.append(QStringLiteral("no \"SEGA\" in the header under any layout"));
        if (size < HeaderEnd)
            report.reasons.append(
                QStringLiteral("the file is too small to hold a cartridge header"));
        if (copierHeader && size == SmdHeaderSize)
            report.reasons.append(QStringLiteral("an SMD header with no image data after it"));
    }

    if (chosen)
        report.layout = chosen->layout;
    else if (report.certainty == Certainty::Likely)
        report.layout = RomLayout::Smd;
    if ((report.layout == RomLayout::Smd || (report.layout == RomLayout::Unknown && smdSized)) &&
        copierHeader) {
        report.reasons.append(QStringLiteral("SMD copier header: 0xAA 0xBB at offsets 8 and 9"));
        if (copier[2] == 0x40)
            report.reasons.append(QStringLiteral("SMD split flag set: more parts follow"));
    }

    // The header and the fingerprints of the plain content; of the file as it
    // is when the layout stays unknown.
    const RomLayout read_as = report.layout;
    Digest digest;
    std::vector<std::uint8_t> head;
    if (chosen && found.size() == 1) {
        digest = chosen->digest;
        head = chosen->head;
    } else if (read_as == RomLayout::Unknown && !options.fingerprints) {
        // Nothing to fingerprint, and no checksum that means anything.
        head = PlainHead(read, size, read_as);
        digest.ok = true;
    } else {
        digest = ReadPlain(read, size, read_as, options.fingerprints, cancel);
        head = PlainHead(read, size, read_as);
        if (!digest.ok) {
            report.error = unfinished();
            return report;
        }
    }
    report.header = ReadHeader(head);
    report.header.computedChecksum = digest.checksum;
    report.crc32 = digest.crc32;
    report.md5 = digest.md5;
    report.sha1 = digest.sha1;
    return report;
}

Report Inspect(const QString& path, const Options& options) {
    const SafeFile::Source source(path);
    Report report;
    if (source.IsOpen()) {
        report = InspectData(ReaderOf(source), source.Size(), options);
        if (report.Inspected() && !source.Unchanged()) {
            report = Report();
            report.size = source.Size();
            report.error = ChangedWhileRead();
        }
    } else
        report.error = SafeFile::Describe(source.Error());
    report.file = path;
    return report;
}

QString PlainSha1(const QString& path, RomLayout layout, QString* error) {
    const SafeFile::Source source(path);
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    if (!source.IsOpen())
        return fail(SafeFile::Describe(source.Error()));
    if (layout != RomLayout::Plain && !SizeFits(layout, source.Size()))
        return fail(QStringLiteral("the size does not fit ") + LayoutPhrase(layout));
    const Digest digest = ReadPlain(ReaderOf(source), source.Size(), layout, true, nullptr);
    if (!digest.ok)
        return fail(QStringLiteral("the file cannot be read"));
    if (!source.Unchanged())
        return fail(ChangedWhileRead());
    return digest.sha1;
}

QString ModesFor(RomLayout layout) {
    switch (layout) {
    case RomLayout::Plain:
        return QStringLiteral("bin2smd, bin2md");
    case RomLayout::Smd:
        return QStringLiteral("smd2bin");
    case RomLayout::Md:
        return QStringLiteral("md2bin");
    case RomLayout::Byteswapped:
    case RomLayout::Unknown:
        break;
    }
    return QString();
}

} // namespace RomInspector
