#include "RomInspector.h"

#include "Archive.h"
#include "FileFunctions.h"
#include "HeaderFields.h"
#include "Interleave.h"
#include "Mod_Convert.h"
#include "PlainDigest.h"
#include "PlainStream.h"
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

using Cartridge::ChecksumAt;
using Cartridge::HeaderEnd;
using Cartridge::HeaderStart;
using Cartridge::RomEndAt;
using Cartridge::RomStartAt;
// The plain content is produced in pieces of this size (a whole number of
// SMD blocks), so memory stays small whatever the file size.
constexpr std::int64_t Piece = 1 << 20;
// A cartridge's address space ends at 4 MiB; with a bank-switching mapper a
// cartridge holds more, and none holds more than 8 MiB.
constexpr std::int64_t MaxPlausibleRom = std::int64_t(8) << 20;

const std::array<RomLayout, 4> Candidates = {RomLayout::Plain, RomLayout::Smd, RomLayout::Md,
                                             RomLayout::Byteswapped};

QString WhenReadAs(RomLayout layout) {
    return QStringLiteral("when read as ") + LayoutPhrase(layout);
}

} // namespace

namespace {

// The plain size the header declares (its ROM end + 1), or 0 when the field
// makes no sense.
std::int64_t DeclaredSize(const std::vector<std::uint8_t>& head) {
    return Cartridge::DeclaredSize(Big32(head, RomEndAt));
}

// Whether the plain content past the declared end repeats the declared part
// (the tail of an overdump that mirrors the start, or a whole mirror).
bool RepeatsDeclared(const ReadAt& read, std::int64_t size, RomLayout layout,
                     std::int64_t declared) {
    PlainStream stream(read, size, layout);
    const std::int64_t total = stream.PlainSize();
    if (declared <= 0 || declared >= total || declared % BlockSize != 0)
        return false;
    const std::int64_t chunk = std::min(Piece, declared);
    std::vector<std::uint8_t> first(static_cast<std::size_t>(chunk));
    std::vector<std::uint8_t> later(static_cast<std::size_t>(chunk));
    for (std::int64_t offset = declared; offset < total;) {
        // Never past the end of the declared part, nor of the file.
        const std::int64_t n = std::min({chunk, declared - offset % declared, total - offset});
        if (!stream.Get(offset % declared, first.data(), n) ||
            !stream.Get(offset, later.data(), n) ||
            !std::equal(first.begin(), first.begin() + n, later.begin()))
            return false;
        offset += n;
    }
    return true;
}

// A disc image of the console's CD unit: its system signature opens the
// first sector (of 2048 bytes, or of 2352 after a raw sector's 16-byte
// sync and header).
bool DiscImage(const ReadAt& read, std::int64_t size) {
    static const char Signature[] = "SEGADISCSYSTEM";
    constexpr std::int64_t n = sizeof Signature - 1;
    char at[n];
    for (const std::int64_t offset : {std::int64_t(0), std::int64_t(16)})
        if (size >= offset + n && read(offset, at, n) && std::memcmp(at, Signature, n) == 0)
            return true;
    return false;
}

} // namespace

namespace {

// Which layouts show the "SEGA" signature in their header, in the plain
// content's first bytes (head).
struct Found {
    RomLayout layout;
    std::vector<std::uint8_t> head;
    Digest digest;
};

// One inspection of bytes of a size, step by step; a step that cannot read
// what it needs leaves the report's error set and says false.
class Inspection {
public:
    Inspection(const ReadAt& read, std::int64_t size, const Options& options)
        : read_(read), size_(size), options_(options) {
        report_.size = size;
        report_.plainSize = size;
    }

    Report Run() {
        if (size_ <= 0) {
            report_.error = EngineError::Code::Empty;
            return report_;
        }
        // Not a cartridge at all: its header is the disc's, and its size no
        // cartridge's.
        if (DiscImage(read_, size_)) {
            Disc();
            return report_;
        }
        Look();
        if (!Sum())
            return report_;
        Choose();
        CopierHeader();
        Describe();
        return report_;
    }

private:
    bool Unfinished() {
        report_.error = options_.cancel && options_.cancel->load() ? EngineError::Code::Cancelled
                                                                   : EngineError::Code::ReadFailed;
        return false;
    }
    void Fingerprints(const Digest& digest) {
        report_.crc32 = digest.crc32;
        report_.md5 = digest.md5;
        report_.sha1 = digest.sha1;
    }

    void Disc() {
        report_.disc = true;
        report_.reasons.append(
            QStringLiteral("\"SEGADISCSYSTEM\" opens the file: a disc image, not a cartridge"));
        if (!options_.fingerprints && !options_.checksum)
            return;
        const Digest digest =
            ReadPlain(read_, size_, RomLayout::Unknown, options_.fingerprints, options_);
        if (!digest.ok)
            return void(Unfinished());
        Fingerprints(digest);
    }

    // The layouts whose header shows the signature; those whose size rule
    // the file breaks are only seen. Then the SMD copier header's marks.
    void Look() {
        for (RomLayout layout : Candidates) {
            const bool fits = Cartridge::SizeFits(layout, size_);
            if (!fits && !Cartridge::ShowsHeader(layout, size_))
                continue;
            std::vector<std::uint8_t> head = PlainHead(read_, size_, layout);
            if (!HasSega(head))
                continue;
            if (fits) {
                report_.reasons.append(QStringLiteral("\"SEGA\" in the header ") +
                                       WhenReadAs(layout));
                found_.push_back({layout, std::move(head), {}});
            } else {
                seen_.push_back({layout, std::move(head), {}});
            }
        }
        copierHeader_ =
            size_ >= 10 && read_(0, copier_, 10) && copier_[8] == 0xAA && copier_[9] == 0xBB;
        smdSized_ = Cartridge::SizeFits(RomLayout::Smd, size_);
    }

    // The header checksum of every layout that has the signature; the
    // fingerprints too when that layout is the only one.
    bool Sum() {
        headerOnly_ = !options_.checksum && !options_.fingerprints && found_.size() == 1;
        for (Found& f : found_) {
            if (headerOnly_) {
                f.digest.ok = true;
                break;
            }
            f.digest =
                ReadPlain(read_, size_, f.layout, found_.size() == 1 && options_.fingerprints,
                          options_, DeclaredSize(f.head));
            if (!f.digest.ok)
                return Unfinished();
            const std::uint16_t stored = Big16(f.head, ChecksumAt);
            report_.reasons.append(
                stored == f.digest.checksum
                    ? QStringLiteral("the header checksum %1 matches %2")
                          .arg(Hex(stored), WhenReadAs(f.layout))
                    : QStringLiteral("the header checksum %1 differs from the computed %2 %3")
                          .arg(Hex(stored), Hex(f.digest.checksum), WhenReadAs(f.layout)));
        }
        return true;
    }

    static bool Matches(const Found& f) { return Big16(f.head, ChecksumAt) == f.digest.checksum; }

    // The layout, and how sure it is.
    void Choose() {
        if (headerOnly_) {
            chosen_ = &found_.front();
            report_.certainty = Certainty::Likely;
        } else if (found_.size() == 1) {
            chosen_ = &found_.front();
            report_.certainty = Matches(*chosen_) ? Certainty::Certain : Certainty::Likely;
        } else if (found_.size() > 1) {
            std::vector<const Found*> matching;
            for (const Found& f : found_)
                if (Matches(f))
                    matching.push_back(&f);
            if (matching.size() == 1) {
                chosen_ = matching.front();
                report_.certainty = Certainty::Certain;
            } else {
                QStringList names;
                for (const Found& f : found_)
                    names.append(LayoutPhrase(f.layout));
                report_.reasons.append(
                    QStringLiteral("%1 fit equally well").arg(names.join(" and ")));
            }
        } else {
            NoneFound();
        }
        if (chosen_)
            report_.layout = chosen_->layout;
        else if (report_.certainty == Certainty::Likely)
            report_.layout = RomLayout::Smd;
    }

    void NoneFound() {
        if (!seen_.empty()) {
            // The content shows a layout, but the size breaks its rule.
            report_.seen = seen_.front().layout;
            for (const Found& f : seen_)
                report_.reasons.append(
                    QStringLiteral("\"SEGA\" in the header %1, but %2")
                        .arg(WhenReadAs(f.layout), Cartridge::SizeBreaks(f.layout, size_)));
            return;
        }
        report_.reasons.append(QStringLiteral("no \"SEGA\" in the header under any layout"));
        report_.noHeader = true;
        if (copierHeader_ && smdSized_) {
            report_.certainty = Certainty::Likely;
            return;
        }
        if (size_ < HeaderEnd)
            report_.reasons.append(
                QStringLiteral("the file is too small to hold a cartridge header"));
        if (copierHeader_ && Cartridge::HeaderOnly(RomLayout::Smd, size_))
            report_.reasons.append(QStringLiteral("an SMD header with no image data after it"));
    }

    void CopierHeader() {
        const bool smdLike =
            report_.layout == RomLayout::Smd ||
            (report_.layout == RomLayout::Unknown && (smdSized_ || report_.seen == RomLayout::Smd));
        if (smdLike && copierHeader_) {
            report_.reasons.append(
                QStringLiteral("SMD copier header: 0xAA 0xBB at offsets 8 and 9"));
            if (copier_[2] == 0x40)
                report_.reasons.append(QStringLiteral("SMD split flag set: more parts follow"));
            report_.smdBlocksDeclared = copier_[0];
            report_.smdBlocks = (size_ - SmdHeaderSize) / BlockSize;
        }
        if (report_.layout == RomLayout::Smd || report_.seen == RomLayout::Smd)
            report_.plainSize = size_ - SmdHeaderSize;
    }

    // The header and the fingerprints of the plain content; of the file as
    // it is when the layout stays unknown, which then has no header to show.
    void Describe() {
        const RomLayout layout = report_.layout;
        Digest digest;
        std::vector<std::uint8_t> head;
        if (chosen_ && found_.size() == 1) {
            digest = chosen_->digest;
            head = chosen_->head;
        } else if (layout == RomLayout::Unknown && !options_.fingerprints) {
            digest.ok = true;
        } else {
            head = PlainHead(read_, size_, layout);
            digest = ReadPlain(read_, size_, layout, options_.fingerprints, options_,
                               layout == RomLayout::Unknown ? 0 : DeclaredSize(head));
            if (!digest.ok)
                return void(Unfinished());
        }
        if (layout != RomLayout::Unknown && report_.certainty != Certainty::Unknown &&
            HasSega(head) && !headerOnly_) {
            report_.header = ReadHeader(head);
            report_.header.computedChecksum = digest.checksum;
            Dumped(head, digest);
        } else if (report_.seen != RomLayout::Unknown) {
            // Broken blocks, or shorter than its header says: cut short.
            const std::int64_t declared = DeclaredSize(seen_.front().head);
            if (report_.seen == RomLayout::Smd || (declared > 0 && report_.plainSize < declared))
                report_.dump = Dump::Truncated;
        }
        // Asked for neither checksum nor fingerprints: the header's fields
        // alone, as they are stored.
        if (headerOnly_ && layout != RomLayout::Unknown && HasSega(head))
            report_.header = ReadHeader(head);
        Fingerprints(digest);
        if (options_.rawFingerprints && options_.fingerprints && layout != RomLayout::Unknown &&
            layout != RomLayout::Plain) {
            // Only its SHA-1 and CRC32 are matched.
            Options rawOptions = options_;
            rawOptions.md5 = false;
            const Digest raw = ReadPlain(read_, size_, RomLayout::Unknown, true, rawOptions);
            if (!raw.ok)
                return void(Unfinished());
            report_.rawCrc32 = raw.crc32;
            report_.rawSha1 = raw.sha1;
        }
    }

    // What the size says of the dump.
    void Dumped(const std::vector<std::uint8_t>& head, const Digest& digest) {
        const std::int64_t declared = DeclaredSize(head);
        Report& r = report_;
        if (declared == 0) {
            r.dump = Dump::Unknown;
        } else if (r.plainSize == declared) {
            r.dump = Dump::Complete;
        } else if (r.plainSize < declared) {
            // An end far past any cartridge is a broken field, not a short dump.
            r.dump = declared > MaxPlausibleRom ? Dump::Implausible : Dump::Truncated;
        } else if (LockOn(declared)) {
            r.dump = Dump::LockOn;
        } else if (digest.tailUniform) {
            r.dump = Dump::Padded;
        } else if (RepeatsDeclared(read_, size_, r.layout, declared)) {
            r.dump = r.plainSize % declared == 0 ? Dump::Mirrored : Dump::Overdump;
            r.tailMirrored = true;
        } else {
            r.dump = Dump::Overdump;
        }
        if (r.dump == Dump::Padded || r.dump == Dump::Mirrored || r.dump == Dump::Overdump ||
            r.dump == Dump::LockOn) {
            r.declaredRange = true;
            r.declaredChecksum = digest.declaredChecksum;
        }
    }

    // A second cartridge header where a 2 MiB cartridge ends: the one locked
    // on after it, whose checksum is its own words' sum.
    bool LockOn(std::int64_t declared) {
        constexpr std::int64_t Second = std::int64_t(2) << 20;
        Report& r = report_;
        if (declared != Second || r.plainSize < Second + HeaderEnd)
            return false;
        PlainStream stream(read_, size_, r.layout);
        std::vector<std::uint8_t> head(static_cast<std::size_t>(HeaderEnd));
        // The plain stream reads whole blocks: one from the second part's start.
        std::vector<std::uint8_t> block(std::size_t(std::min(BlockSize, r.plainSize - Second)));
        if (!stream.Get(Second, block.data(), std::int64_t(block.size())))
            return false;
        std::copy_n(block.begin(), head.size(), head.begin());
        if (!HasSega(head))
            return false;
        std::uint64_t sum = 0;
        std::vector<std::uint8_t> piece(static_cast<std::size_t>(Piece));
        for (std::int64_t offset = Second; offset < r.plainSize; offset += Piece) {
            const std::int64_t bytes = std::min(Piece, r.plainSize - offset);
            if (!stream.Get(offset, piece.data(), bytes))
                return false;
            const std::int64_t from = offset == Second ? HeaderEnd : 0;
            sum += Interleave::WordSum(piece.data() + from, std::size_t(bytes - from));
        }
        r.lockOnSize = r.plainSize - Second;
        r.lockOnStored = Big16(head, ChecksumAt);
        r.lockOnComputed = std::uint16_t(sum);
        return true;
    }

    const ReadAt& read_;
    const std::int64_t size_;
    const Options& options_;
    Report report_;
    std::vector<Found> found_;
    std::vector<Found> seen_;
    const Found* chosen_ = nullptr;
    std::uint8_t copier_[10] = {};
    bool copierHeader_ = false;
    bool smdSized_ = false;
    bool headerOnly_ = false;
};

} // namespace

Report InspectData(const ReadAt& read, std::int64_t size, const Options& options) {
    return Inspection(read, size, options).Run();
}

Report Inspect(const QString& path, const Options& options) {
    Report report;
    // An archive is inspected as its one cartridge image.
    if (Archive::IsArchive(path)) {
        Archive::Entry image;
        const EngineError error =
            Archive::SingleImage(path, Mod_Convert::MaxSourceSize, &image, options.cancel);
        if (!error.Failed()) {
            const QByteArray& bytes = image.bytes;
            report =
                InspectData(MemoryReader(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                         bytes.size()),
                            bytes.size(), options);
        } else {
            report.error = error;
        }
        report.file = path;
        return report;
    }
    return Inspect(path, SafeFile::Source(path), options);
}

Report Inspect(const QString& path, const SafeFile::Source& source, const Options& options) {
    Report report;
    if (source.IsOpen()) {
        // A file of up to a mebibyte is read whole, at once: of a collection
        // of them, the calls to read each piece would cost more than the
        // reading. Where that fails, the pieces are read, and say why.
        std::vector<std::uint8_t> whole(source.Size() <= (1 << 20) ? std::size_t(source.Size())
                                                                   : 0);
        if (!whole.empty() && !source.ReadAt(0, whole.data(), source.Size()))
            whole.clear();
        report = whole.empty() ? InspectData(ReaderOf(source), source.Size(), options)
                               : InspectData(MemoryReader(whole.data(), source.Size()),
                                             source.Size(), options);
        if (report.Inspected() && !source.Unchanged()) {
            report = Report();
            report.size = source.Size();
            report.error = EngineError::Code::Changed;
        }
    } else if (source.Error().code == EngineError::Code::NotRegular && SafeFile::IsFolder(path)) {
        report.error = EngineError::Code::SourceIsFolder;
    } else {
        report.error = source.Error();
    }
    report.file = path;
    return report;
}

} // namespace RomInspector
