#include "Repair.h"

#include "FileFunctions.h"
#include "Interleave.h"
#include "Mod_Convert.h"

#include <cstring>

namespace Repair {

namespace {

using FileFunctions::BlockSize;
using FileFunctions::SmdHeaderSize;
using Code = EngineError::Code;

constexpr std::int64_t ChecksumAt = 0x18E;
constexpr std::int64_t HeaderEnd = 0x200;

// The size the header declares (its ROM end + 1), when it is a size at all.
std::int64_t Declared(const RomInspector::Report& report) {
    const std::int64_t end = std::int64_t(report.header.romEnd) + 1;
    return end > HeaderEnd && end % 2 == 0 ? end : 0;
}

EngineError NoHeader(const RomInspector::Report& report) {
    if (report.disc)
        return {Code::NoHeader, QStringLiteral("it is a disc image, not a cartridge")};
    if (report.layout == RomLayout::Unknown)
        return {Code::NoHeader, QStringLiteral("the layout is unknown (%1)")
                                    .arg(report.reasons.join(QStringLiteral("; ")))};
    if (report.header.system.isEmpty())
        return {Code::NoHeader, QStringLiteral("there is no \"SEGA\" in its header")};
    return {};
}

// The file of a layout that holds a plain content, with an SMD image's
// copier header taken from the old file.
QByteArray InLayout(const QByteArray& plain, RomLayout layout, const QByteArray& old) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(plain.constData());
    const qsizetype n = plain.size();
    QByteArray out;
    switch (layout) {
    case RomLayout::Plain:
    case RomLayout::Unknown:
        return plain;
    case RomLayout::Byteswapped:
        out = plain;
        Interleave::SwapWords(reinterpret_cast<std::uint8_t*>(out.data()), std::size_t(n));
        return out;
    case RomLayout::Smd: {
        // The converter's layout, under the old copier header with the
        // block count made right.
        out = QByteArray(SmdHeaderSize + n, Qt::Uninitialized);
        Mod_Convert::Rearrange(BINtoSMD, p, reinterpret_cast<std::uint8_t*>(out.data()), n);
        out.replace(0, SmdHeaderSize, old.left(SmdHeaderSize));
        out[0] = char(std::uint8_t(n / BlockSize));
        return out;
    }
    case RomLayout::Md:
        out = QByteArray(n, Qt::Uninitialized);
        Mod_Convert::Rearrange(BINtoMD, p, reinterpret_cast<std::uint8_t*>(out.data()), n);
        return out;
    }
    return plain;
}

} // namespace

std::int64_t FileOffset(RomLayout layout, std::int64_t p, std::int64_t fileSize) {
    switch (layout) {
    case RomLayout::Byteswapped:
        return p ^ 1;
    case RomLayout::Smd: {
        // A block holds the odd bytes of its plain part, then the even ones.
        const std::int64_t block = p / BlockSize;
        const std::int64_t k = (p % BlockSize) / 2;
        return SmdHeaderSize + block * BlockSize + (p % 2 == 0 ? BlockSize / 2 : 0) + k;
    }
    case RomLayout::Md:
        // The odd bytes in the first half, the even ones in the second.
        return (p % 2 == 0 ? fileSize / 2 : 0) + p / 2;
    case RomLayout::Plain:
    case RomLayout::Unknown:
        break;
    }
    return p;
}

QByteArray PlainBytes(const QByteArray& file, RomLayout layout) {
    const auto* f = reinterpret_cast<const std::uint8_t*>(file.constData());
    QByteArray plain;
    switch (layout) {
    case RomLayout::Plain:
    case RomLayout::Unknown:
        return file;
    case RomLayout::Byteswapped:
        plain = file;
        Interleave::SwapWords(reinterpret_cast<std::uint8_t*>(plain.data()),
                              std::size_t(plain.size()));
        return plain;
    case RomLayout::Smd:
        plain = QByteArray(file.size() - SmdHeaderSize, Qt::Uninitialized);
        Mod_Convert::Rearrange(SMDtoBIN, f + SmdHeaderSize,
                               reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
        return plain;
    case RomLayout::Md:
        plain = QByteArray(file.size(), Qt::Uninitialized);
        Mod_Convert::Rearrange(MDtoBIN, f, reinterpret_cast<std::uint8_t*>(plain.data()),
                               plain.size());
        return plain;
    }
    return file;
}

EngineError ChecksumOf(const RomInspector::Report& report, Checksum* checksum) {
    if (const EngineError none = NoHeader(report); none.Failed())
        return none;
    checksum->stored = report.header.storedChecksum;
    const std::int64_t declared = Declared(report);
    if (declared > 0 && declared == report.plainSize) {
        checksum->computed = report.header.computedChecksum;
    } else if (report.declaredRange) {
        checksum->computed = report.declaredChecksum;
    } else {
        // The ROM end is past the file, or no size at all.
        checksum->computed = report.header.computedChecksum;
        checksum->wholeFile = true;
    }
    return {};
}

void PutChecksum(QByteArray& file, RomLayout layout, std::uint16_t checksum) {
    const std::int64_t size = file.size();
    file[qsizetype(FileOffset(layout, ChecksumAt, size))] = char(checksum >> 8);
    file[qsizetype(FileOffset(layout, ChecksumAt + 1, size))] = char(checksum & 0xFF);
}

EngineError Trim(const QByteArray& file, const RomInspector::Report& report, bool force,
                 QByteArray* trimmed, bool* cut) {
    *cut = false;
    if (const EngineError none = NoHeader(report); none.Failed())
        return none;
    const std::int64_t declared = Declared(report);
    const QString end = RomInspector::Hex(report.header.romEnd, 8);
    if (declared == 0 || report.plainSize < declared)
        return {Code::TrimShort, end};
    if (report.plainSize == declared)
        return {};
    const bool padding = report.dump == RomInspector::Dump::Padded ||
                         report.dump == RomInspector::Dump::Mirrored ||
                         (report.dump == RomInspector::Dump::Overdump && report.tailMirrored);
    if (!padding && !force)
        return {Code::TrimOtherData, QString::number(report.plainSize - declared), end};
    if ((report.layout == RomLayout::Smd || report.layout == RomLayout::Md) &&
        declared % BlockSize != 0)
        return {Code::TrimNotWhole, LayoutPhrase(report.layout), end};
    *trimmed =
        InLayout(PlainBytes(file, report.layout).left(qsizetype(declared)), report.layout, file);
    *cut = true;
    return {};
}

} // namespace Repair
