// Patching as a conversion job does it: each source's base checked against
// every patch before anything is written, the patches applied in order in
// memory, the header checksum mended, and the result handed on to be
// written in its layout as a converted file is.

#include "ConversionJob.h"

#include "Archive.h"
#include "DatFile.h"
#include "FileFunctions.h"
#include "JobParts.h"
#include "Patch.h"
#include "PathSeparator.h"
#include "PlainStream.h"
#include "Repair.h"

#include <QDateTime>

#include <cstring>
#include <utility>

namespace {

using Code = EngineError::Code;
using RomInspector::ReadAt;

QString Hex32(std::uint32_t value) {
    return RomInspector::Hex(value, 8);
}

// Why a base is not the one a patch was made for.
QString OtherBase(const Patch::Description& d, bool first, std::int64_t size, std::uint32_t crc) {
    const QString has = size == d.sourceSize
                            ? Hex32(crc)
                            : QStringLiteral("%1 bytes with CRC32 %2").arg(size).arg(Hex32(crc));
    return QStringLiteral("the patch expects %1 of %2 bytes with CRC32 %3, this one has %4")
        .arg(first ? QStringLiteral("a plain image")
                   : QStringLiteral("the image the patches before it make"))
        .arg(d.sourceSize)
        .arg(Hex32(d.sourceCrc), has);
}

// Whether bytes of a size can be the file of a layout.
bool FitsLayout(RomLayout layout, std::int64_t size) {
    if (layout == RomLayout::Smd)
        return size >= Cartridge::SmdHeaderSize && (size - Cartridge::SmdHeaderSize) % 2 == 0;
    return size % 2 == 0;
}

} // namespace

// Looks at a source before it is patched: its layout (a file of no known
// layout is patched as it is), and, for an IPS patch, which no checksum
// ties to its base, the DAT entry the base matches. False when the source
// cannot be patched.
bool ConversionJob::PatchBase(FileRun& run, const ReadAt& read, std::int64_t length,
                              RomLayout* layout) {
    RomInspector::Options options;
    const bool named = r_.dats && r_.patches->front().description.kind == Patch::Kind::Ips;
    options.fingerprints = named;
    // The layout, as a conversion decides it: by the header alone where it
    // shows under one layout.
    options.checksum = named;
    const RomInspector::Report report = RomInspector::InspectData(read, length, options);
    if (!report.Inspected())
        return Refuse(run, report.error), false;
    if (report.disc)
        return Refuse(run, Code::DiscImage), false;
    *layout = report.layout == RomLayout::Unknown ? RomLayout::Plain : report.layout;
    if (!named)
        return true;
    if (const DatFile::Rom* rom = r_.dats->Match(report))
        run.report.notices.push_back(Notice(JobNotice::Kind::Base, rom->name, rom->game));
    else
        run.report.notices.push_back(Notice(JobNotice::Kind::UnknownBase));
    return true;
}

// Applies the job's patches to a source, in order: each to the plain content
// (the first to the file's own bytes when it was made for those), checked
// against what the patch says of its base and of its result. The patched
// image becomes the item's content, plain, named after the last patch.
// False when nothing is to be written (why is told on the run).
bool ConversionJob::Patched(FileRun& run, Item& item) {
    auto refuse = [&](const EngineError& why, FileOutcome outcome = FileOutcome::Refused) {
        Refuse(run, why, outcome);
        return false;
    };
    std::unique_ptr<SafeFile::Source> in;
    if (const EngineError opened = OpenSource(item, &in); opened.Failed())
        return refuse(opened);
    const std::int64_t length = in->Size();
    const ReadAt read = RomInspector::ReaderOf(*in);
    RomLayout layout = RomLayout::Unknown;
    if (!PatchBase(run, read, length, &layout))
        return false;
    const std::vector<Patch::Loaded>& patches = *r_.patches;
    // Named after the last patch, in the layout it is written in (standard
    // input, and a layout no file is written in, as a plain image), and its
    // destination judged before anything is applied or held.
    RomLayout out = r_.target;
    if (out == RomLayout::Unknown)
        out =
            item.path != QLatin1String("-") && (layout == RomLayout::Smd || layout == RomLayout::Md)
                ? layout
                : RomLayout::Plain;
    run.target = out;
    item.name =
        FileFunctions::GetFullStem(Archive::OwnName(patches.back().path)) + LayoutExtension(out);
    item.made = RomLayout::Plain;
    if (!r_.toStdout) {
        run.report.destination = JoinPath(JoinPath(r_.folder, item.folder), item.name);
        if (!MayWrite(run, item))
            return false;
    }
    const ReadAt plainOfFile = RomInspector::PlainReader(read, length, layout);
    std::vector<std::uint8_t> image;
    QStringList said;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        Patch::Description d = patches[i].description;
        const QString who = patches.size() > 1
                                ? SafeFile::Printable(Archive::OwnName(patches[i].path)) + ": "
                                : QString();
        ReadAt base = i == 0 ? plainOfFile
                             : RomInspector::MemoryReader(image.data(), std::int64_t(image.size()));
        std::int64_t size =
            i == 0 ? RomInspector::PlainSizeOf(layout, length) : std::int64_t(image.size());
        RomLayout bytesIn = RomLayout::Plain; // what the patched bytes are
        bool fits = true;
        if (d.checksums) {
            std::uint32_t crc = 0;
            if (!Patch::Crc32(base, size, &crc))
                return refuse(Code::ReadFailed, FileOutcome::Failed);
            fits = crc == d.sourceCrc && size == d.sourceSize;
            // A UPS patch undoes itself: applied to its target, it gives
            // back its source.
            if (!fits && d.kind == Patch::Kind::Ups && crc == d.targetCrc && size == d.targetSize &&
                d.sourceCrc != d.targetCrc) {
                std::swap(d.sourceSize, d.targetSize);
                std::swap(d.sourceCrc, d.targetCrc);
                fits = true;
                said << who + QStringLiteral("applied in reverse, to the image it makes");
            }
            std::uint32_t raw = 0;
            if (!fits && i == 0 && layout != RomLayout::Plain && length == d.sourceSize) {
                if (!Patch::Crc32(read, length, &raw))
                    return refuse(Code::ReadFailed, FileOutcome::Failed);
                // A patch made for the file as it is, not for its plain content.
                if (raw == d.sourceCrc) {
                    base = read;
                    size = length;
                    bytesIn = layout;
                    fits = true;
                    said << who +
                                QStringLiteral("applied to the bytes of %1, which it was made for")
                                    .arg(LayoutPhrase(layout));
                }
            }
            if (!fits && !r_.force)
                return refuse({Code::WrongBase, OtherBase(d, i == 0, size, crc), run.report.given});
            if (!fits)
                said << who + QStringLiteral("forced onto an image it was not made for");
        }
        std::vector<std::uint8_t> target;
        if (const EngineError applied = Patch::Apply(patches[i].bytes, d, base, size, &target);
            applied.Failed())
            return refuse(applied, applied.code == Code::PatchDoesNotFit ? FileOutcome::Refused
                                                                         : FileOutcome::Failed);
        if (i == 0 && !in->Unchanged())
            return refuse(Code::Changed);
        if (d.checksums) {
            const std::uint32_t made = Patch::Crc32(target.data(), std::int64_t(target.size()));
            if (made == d.targetCrc)
                said << who + QStringLiteral("target CRC32 %1 matches").arg(Hex32(made));
            else if (fits)
                return refuse({Code::TargetDiffers,
                               QStringLiteral("the patched image's CRC32 is %1, not the %2 the "
                                              "patch makes: the patch is damaged")
                                   .arg(Hex32(made), Hex32(d.targetCrc))},
                              FileOutcome::Failed);
            else
                said << who + QStringLiteral("target CRC32 %1, not the patch's %2")
                                  .arg(Hex32(made), Hex32(d.targetCrc));
        }
        if (bytesIn != RomLayout::Plain) {
            // Made in the file's own layout: its plain content from here on.
            const std::int64_t bytes = std::int64_t(target.size());
            if (!FitsLayout(bytesIn, bytes))
                return refuse({Code::SizeUnfit, LayoutPhrase(bytesIn)});
            std::vector<std::uint8_t> plain(std::size_t(RomInspector::PlainSizeOf(bytesIn, bytes)));
            const ReadAt made = RomInspector::MemoryReader(target.data(), bytes);
            RomInspector::PlainStream stream(made, bytes, bytesIn);
            if (!stream.Get(0, plain.data(), std::int64_t(plain.size())))
                return refuse({Code::SizeUnfit, LayoutPhrase(bytesIn)});
            target = std::move(plain);
        }
        image = std::move(target);
    }
    in.reset();
    if (image.empty())
        return refuse({Code::SizeRule, QStringLiteral("the patched image is empty")});
    // Only whole blocks make an SMD image, whole 16 KiB units an MD one.
    if (out != RomLayout::Plain &&
        !Mod_Convert::SizeAllowed(RomLayout::Plain, out, std::int64_t(image.size())))
        return refuse({Code::SizeRule,
                       QStringLiteral("the patched image of %1 bytes cannot be %2 (%3); --to bin "
                                      "writes it as a plain image")
                           .arg(qint64(image.size()))
                           .arg(LayoutPhrase(out), Cartridge::SizeRule(RomLayout::Plain, out))});

    // The header checksum the boot check computes, once the patches are in.
    RomInspector::Options options;
    options.fingerprints = false;
    const RomInspector::Report after = RomInspector::InspectData(
        RomInspector::MemoryReader(image.data(), std::int64_t(image.size())),
        std::int64_t(image.size()), options);
    Repair::Checksum sum;
    if (after.layout == RomLayout::Plain && !Repair::ChecksumOf(after, &sum).Failed() &&
        !sum.Right()) {
        if (r_.keepChecksum) {
            said << QStringLiteral("checksum %1 kept, the boot check sums %2")
                        .arg(RomInspector::Hex(sum.stored), RomInspector::Hex(sum.computed));
        } else {
            image[std::size_t(Cartridge::ChecksumAt)] = std::uint8_t(sum.computed >> 8);
            image[std::size_t(Cartridge::ChecksumAt) + 1] = std::uint8_t(sum.computed);
            said << QStringLiteral("checksum %1, was %2")
                        .arg(RomInspector::Hex(sum.computed), RomInspector::Hex(sum.stored));
        }
    }
    if (!said.isEmpty())
        run.report.detail = QStringLiteral(" (") + said.join(QStringLiteral("; ")) + ")";

    std::int64_t at = 0;
    const SafeFile::Pull pull = [&](char* into, std::int64_t most, EngineError*) {
        const std::int64_t n = std::min(most, std::int64_t(image.size()) - at);
        std::memcpy(into, image.data() + at, std::size_t(n));
        at += n;
        return n;
    };
    // Held in memory, never on the drive it is written to.
    if (const EngineError held = SafeFile::Hold(Mod_Convert::MaxSourceSize, pull, &item.content);
        held.Failed())
        return refuse(held, FileOutcome::Failed);
    item.held = true;
    item.mtime = QDateTime::currentSecsSinceEpoch();
    return true;
}
