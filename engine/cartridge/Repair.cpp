#include "Repair.h"

#include "FileFunctions.h"

#include <QCryptographicHash>

#include <algorithm>

namespace Repair {

namespace {

using FileFunctions::BlockSize;
using FileFunctions::SmdHeaderSize;
using Code = EngineError::Code;

using Cartridge::ChecksumAt;
using Cartridge::HeaderEnd;

std::int64_t Declared(const RomInspector::Report& report) {
    return Cartridge::DeclaredSize(report.header.romEnd);
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

} // namespace

std::int64_t Plan::Size() const {
    std::int64_t size = 0;
    for (const Range& range : ranges)
        size += range.size;
    return size;
}

EngineError Write(const Plan& plan, const RomInspector::ReadAt& read, SafeFile::Writer& writer,
                  QCryptographicHash* sha) {
    using Cartridge::Piece;
    std::vector<std::uint8_t> piece;
    std::int64_t at = 0; // in the result
    for (const Plan::Range& range : plan.ranges)
        for (std::int64_t done = 0; done < range.size;) {
            const std::int64_t n = std::min(Piece, range.size - done);
            piece.resize(std::size_t(std::max<std::int64_t>(n, std::int64_t(piece.size()))));
            if (!read(range.offset + done, piece.data(), n))
                return EngineError::Code::ReadFailed;
            for (const auto& [offset, byte] : plan.bytes)
                if (offset >= at && offset < at + n)
                    piece[std::size_t(offset - at)] = byte;
            if (sha)
                sha->addData(QByteArrayView(piece.data(), n));
            if (!writer.Write(piece.data(), n))
                return writer.Error();
            done += n;
            at += n;
        }
    return {};
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

Plan PutChecksum(RomLayout layout, std::int64_t fileSize, std::uint16_t checksum) {
    return {
        {{0, fileSize}},
        {{Cartridge::FileOffset(layout, ChecksumAt, fileSize), std::uint8_t(checksum >> 8)},
         {Cartridge::FileOffset(layout, ChecksumAt + 1, fileSize), std::uint8_t(checksum & 0xFF)}}};
}

EngineError Trim(const RomInspector::Report& report, std::int64_t fileSize, bool force,
                 Plan* trimmed, bool* cut) {
    *cut = false;
    if (const EngineError none = NoHeader(report); none.Failed())
        return none;
    const std::int64_t declared = Declared(report);
    const QString end = RomInspector::Hex(report.header.romEnd, 8);
    if (declared == 0 || report.plainSize < declared)
        return {Code::TrimShort, end};
    if (report.plainSize == declared)
        return {};
    // A cartridge locked onto another is no tail to cut, whatever force says.
    if (report.dump == RomInspector::Dump::LockOn)
        return {Code::TrimLockOn};
    const bool padding = report.dump == RomInspector::Dump::Padded ||
                         report.dump == RomInspector::Dump::Mirrored ||
                         (report.dump == RomInspector::Dump::Overdump && report.tailMirrored);
    if (!padding && !force)
        return {Code::TrimOtherData, QString::number(report.plainSize - declared), end};
    if ((report.layout == RomLayout::Smd || report.layout == RomLayout::Md) &&
        declared % BlockSize != 0)
        return {Code::TrimNotWhole, LayoutPhrase(report.layout), end};
    // The first bytes of the plain content, in the file's own layout: an
    // SMD image's first blocks under its copier header, an MD image's first
    // odd bytes and first even ones.
    switch (report.layout) {
    case RomLayout::Smd:
        *trimmed = {{{0, SmdHeaderSize + declared}},
                    {{0, FileFunctions::SmdHeaderBlocks(declared / BlockSize)}}};
        break;
    case RomLayout::Md:
        *trimmed = {{{0, declared / 2}, {fileSize / 2, declared / 2}}, {}};
        break;
    case RomLayout::Plain:
    case RomLayout::Byteswapped:
    case RomLayout::Unknown:
        *trimmed = {{{0, declared}}, {}};
        break;
    }
    *cut = true;
    return {};
}

} // namespace Repair
