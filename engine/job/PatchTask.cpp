// Patching as a conversion job does it: each source's base checked against
// every patch before anything is written, the patches applied in order in
// memory, the header checksum mended, and the result handed on to be
// written in its layout as a converted file is.

#include "JobParts.h"

#include "Archive.h"
#include "DatFile.h"
#include "FileFunctions.h"
#include "Interleave.h"
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

// The bytes of a plain image in another layout (an SMD image with the
// usual copier header); false where its size does not make one.
bool InLayout(const std::vector<std::uint8_t>& plain, RomLayout layout,
              std::vector<std::uint8_t>* out) {
    const std::int64_t size = std::int64_t(plain.size());
    if (layout == RomLayout::Byteswapped) {
        if (size % 2)
            return false;
        *out = plain;
        Interleave::SwapWords(out->data(), out->size());
        return true;
    }
    if (size == 0 || size % Cartridge::BlockSize)
        return false;
    if (layout == RomLayout::Md) {
        out->resize(plain.size());
        Interleave::Split(plain.data(), out->data(), out->data() + size / 2, std::size_t(size / 2));
        return true;
    }
    out->assign(std::size_t(Cartridge::SmdHeaderSize + size), 0);
    std::uint8_t* header = out->data();
    header[0] = Cartridge::SmdHeaderBlocks(size / Cartridge::BlockSize);
    header[1] = 0x03;
    header[8] = 0xAA;
    header[9] = 0xBB;
    header[10] = 0x06;
    for (std::int64_t at = 0; at < size; at += Cartridge::BlockSize) {
        std::uint8_t* block = out->data() + Cartridge::SmdHeaderSize + at;
        Interleave::Split(plain.data() + at, block, block + Cartridge::HalfBlock,
                          std::size_t(Cartridge::HalfBlock));
    }
    return true;
}

// How whole a plain image's cartridge header is: 2 with "SEGA" in it and the
// checksum its words sum to, 1 with "SEGA" alone, 0 without.
int HeaderWhole(const std::vector<std::uint8_t>& plain) {
    const std::int64_t size = std::int64_t(plain.size());
    if (size < Cartridge::HeaderEnd ||
        !QByteArray::fromRawData(reinterpret_cast<const char*>(plain.data()) + 0x100, 16)
             .contains("SEGA"))
        return 0;
    const std::uint16_t stored =
        std::uint16_t(plain[Cartridge::ChecksumAt] << 8 | plain[Cartridge::ChecksumAt + 1]);
    const std::uint16_t sum = std::uint16_t(Interleave::WordSum(
        plain.data() + Cartridge::HeaderEnd, std::size_t(size - Cartridge::HeaderEnd)));
    return stored == sum ? 2 : 1;
}

// A source being patched: the file, what it holds, and the image so far.
struct Patching {
    std::unique_ptr<SafeFile::Source> in;
    ReadAt read;
    std::int64_t length = 0;
    RomLayout layout = RomLayout::Unknown; // the file's
    std::vector<std::uint8_t> image;       // plain, once a patch is applied
    std::vector<std::uint8_t> form;        // the bytes an IPS was made for, where not plain
    QStringList said;                      // told after the destination
};

// One patch applied: what it is applied to, and whether that is its base.
struct Step {
    Patch::Description d;
    QString who; // "name: " where there are several patches
    ReadAt base;
    std::int64_t size = 0;
    RomLayout bytesIn = RomLayout::Plain; // what the patched bytes are
    bool fits = true;
};

class PatchImage : public JobTaskRunner {
public:
    explicit PatchImage(JobRun& job) : JobTaskRunner(job), convert_(ConvertTask(job, false)) {}

    // A patched file has its name once it is made.
    QString OutputName(const QString& sourceName) const override { return sourceName; }
    bool KeepsItsSource() const override { return true; }
    bool Make(FileRun& run, Item& item) override;
    void Prepare(FileRun& run, Item& item, QString name) override {
        convert_->Prepare(run, item, std::move(name));
    }

private:
    bool Base(FileRun& run, Patching& p);
    bool Named(FileRun& run, Item& item, const Patching& p);
    bool Apply(FileRun& run, Patching& p, std::size_t i);
    bool Fit(FileRun& run, Patching& p, std::size_t i, Step* step);
    bool IpsForm(FileRun& run, Patching& p, std::size_t i, Step* step);
    EngineError WindowsDiffer(FileRun& run, Patching& p, std::size_t i, Step& step,
                              std::vector<std::uint8_t>* target);
    bool Checked(FileRun& run, Patching& p, const Step& step,
                 const std::vector<std::uint8_t>& target);
    bool MendChecksum(FileRun& run, Patching& p);
    bool Refused(FileRun& run, const EngineError& why, FileOutcome outcome = FileOutcome::Refused) {
        job_.Refuse(run, why, outcome);
        return false;
    }

    std::unique_ptr<JobTaskRunner> convert_;
};

// Applies the job's patches to a source, in order: each to the plain content
// (the first to the file's own bytes when it was made for those), checked
// against what the patch says of its base and of its result. The patched
// image becomes the item's content, plain, named after the last patch.
// False when nothing is to be written (why is told on the run).
bool PatchImage::Make(FileRun& run, Item& item) {
    Patching p;
    if (const EngineError opened = OpenSource(item, &p.in); opened.Failed())
        return Refused(run, opened);
    p.length = p.in->Size();
    p.read = RomInspector::ReaderOf(*p.in);
    if (!Base(run, p) || !Named(run, item, p))
        return false;
    for (std::size_t i = 0; i < r_.patches->size(); ++i)
        if (!Apply(run, p, i))
            return false;
    p.in.reset();
    if (!MendChecksum(run, p))
        return false;
    std::int64_t at = 0;
    const SafeFile::Pull pull = [&](char* into, std::int64_t most, EngineError*) {
        const std::int64_t n = std::min(most, std::int64_t(p.image.size()) - at);
        std::memcpy(into, p.image.data() + at, std::size_t(n));
        at += n;
        return n;
    };
    // Held in memory, never on the drive it is written to.
    if (const EngineError held = SafeFile::Hold(Mod_Convert::MaxSourceSize, pull, &item.content);
        held.Failed())
        return Refused(run, held, FileOutcome::Failed);
    item.held = true;
    item.mtime = QDateTime::currentSecsSinceEpoch();
    return true;
}

// Looks at a source before it is patched: its layout (a file of no known
// layout is patched as it is), and, for an IPS patch, which no checksum
// ties to its base, the DAT entry the base matches. False when the source
// cannot be patched.
bool PatchImage::Base(FileRun& run, Patching& p) {
    RomInspector::Options options;
    options.helpers = &job_.Helpers();
    const bool named = r_.dats && r_.patches->front().description.kind == Patch::Kind::Ips;
    options.fingerprints = named;
    // The layout, as a conversion decides it: by the header alone where it
    // shows under one layout.
    options.checksum = named;
    const RomInspector::Report report = RomInspector::InspectData(p.read, p.length, options);
    if (!report.Inspected())
        return Refused(run, report.error);
    if (report.disc)
        return Refused(run, Code::DiscImage);
    p.layout = report.layout == RomLayout::Unknown ? RomLayout::Plain : report.layout;
    if (!named)
        return true;
    if (const std::optional<DatFile::Rom> rom = r_.dats->Match(report))
        run.report.notices.push_back(Notice(JobNotice::Kind::Base, rom->name, rom->game));
    else
        run.report.notices.push_back(Notice(JobNotice::Kind::UnknownBase));
    return true;
}

// Named after the last patch, in the layout it is written in (standard
// input, and a layout no file is written in, as a plain image), and its
// destination judged before anything is applied or held.
bool PatchImage::Named(FileRun& run, Item& item, const Patching& p) {
    RomLayout out = r_.target;
    if (out == RomLayout::Unknown)
        out = item.path != QLatin1String("-") &&
                      (p.layout == RomLayout::Smd || p.layout == RomLayout::Md)
                  ? p.layout
                  : RomLayout::Plain;
    run.target = out;
    item.name = FileFunctions::GetFullStem(Archive::OwnName(r_.patches->back().path)) +
                LayoutExtension(out);
    item.made = RomLayout::Plain;
    if (r_.toStdout)
        return true;
    // Where the caller names the output, that name it is.
    if (!item.destination.isEmpty())
        item.name = FileFunctions::GetFileName(item.destination);
    run.report.destination = !item.destination.isEmpty()
                                 ? item.destination
                                 : JoinPath(JoinPath(r_.folder, item.folder), item.name);
    return job_.MayWrite(run, item);
}

// Applies the i-th patch to the image so far (the first to the file).
bool PatchImage::Apply(FileRun& run, Patching& p, std::size_t i) {
    Step step;
    if (!Fit(run, p, i, &step))
        return false;
    std::vector<std::uint8_t> target;
    const QByteArray& patch = (*r_.patches)[i].bytes;
    EngineError applied = Patch::Apply(patch, step.d, step.base, step.size, &target);
    if (applied.code == Code::TargetDiffers && step.d.kind == Patch::Kind::Vcdiff)
        applied = WindowsDiffer(run, p, i, step, &target);
    if (applied.Failed())
        return Refused(run, applied,
                       applied.code == Code::PatchDoesNotFit || applied.code == Code::WrongBase
                           ? FileOutcome::Refused
                           : FileOutcome::Failed);
    if (i == 0 && !p.in->Unchanged())
        return Refused(run, Code::Changed);
    if (!Checked(run, p, step, target))
        return false;
    if (step.bytesIn != RomLayout::Plain) {
        // Made in the file's own layout: its plain content from here on.
        const std::int64_t bytes = std::int64_t(target.size());
        if (!Cartridge::WholeWords(step.bytesIn, bytes))
            return Refused(run, {Code::SizeUnfit, LayoutPhrase(step.bytesIn)});
        std::vector<std::uint8_t> plain(
            std::size_t(RomInspector::PlainSizeOf(step.bytesIn, bytes)));
        const ReadAt made = RomInspector::MemoryReader(target.data(), bytes);
        RomInspector::PlainStream stream(made, bytes, step.bytesIn);
        if (!stream.Get(0, plain.data(), std::int64_t(plain.size())))
            return Refused(run, {Code::SizeUnfit, LayoutPhrase(step.bytesIn)});
        target = std::move(plain);
    }
    p.image = std::move(target);
    return true;
}

// What the i-th patch is applied to, and whether that is the base it was
// made for: a UPS patch fits its target too (applied in reverse), the first
// patch the file's own bytes; --force applies it to whatever it is.
bool PatchImage::Fit(FileRun& run, Patching& p, std::size_t i, Step* step) {
    const std::vector<Patch::Loaded>& patches = *r_.patches;
    step->d = patches[i].description;
    Patch::Description& d = step->d;
    step->who = patches.size() > 1 ? SafeFile::Printable(Archive::OwnName(patches[i].path)) + ": "
                                   : QString();
    step->base = i == 0 ? RomInspector::PlainReader(p.read, p.length, p.layout)
                        : RomInspector::MemoryReader(p.image.data(), std::int64_t(p.image.size()));
    step->size =
        i == 0 ? RomInspector::PlainSizeOf(p.layout, p.length) : std::int64_t(p.image.size());
    if (i == 0 && d.kind == Patch::Kind::Ips && !IpsForm(run, p, i, step))
        return false;
    if (d.kind == Patch::Kind::Vcdiff && !d.windowChecksums)
        p.said << step->who + QStringLiteral("the patch carries no checksums: its base is not "
                                             "checked");
    if (!d.checksums)
        return true;
    std::uint32_t crc = 0;
    if (!Patch::Crc32(step->base, step->size, &crc))
        return Refused(run, Code::ReadFailed, FileOutcome::Failed);
    step->fits = crc == d.sourceCrc && step->size == d.sourceSize;
    // A UPS patch undoes itself: applied to its target, it gives back its
    // source.
    if (!step->fits && d.kind == Patch::Kind::Ups && crc == d.targetCrc &&
        step->size == d.targetSize && d.sourceCrc != d.targetCrc) {
        std::swap(d.sourceSize, d.targetSize);
        std::swap(d.sourceCrc, d.targetCrc);
        step->fits = true;
        p.said << step->who + QStringLiteral("applied in reverse, to the image it makes");
    }
    std::uint32_t raw = 0;
    if (!step->fits && i == 0 && p.layout != RomLayout::Plain && p.length == d.sourceSize) {
        if (!Patch::Crc32(p.read, p.length, &raw))
            return Refused(run, Code::ReadFailed, FileOutcome::Failed);
        // A patch made for the file as it is, not for its plain content.
        if (raw == d.sourceCrc) {
            step->base = p.read;
            step->size = p.length;
            step->bytesIn = p.layout;
            step->fits = true;
            p.said << step->who +
                          QStringLiteral("applied to the bytes of %1, which it was made for")
                              .arg(LayoutPhrase(p.layout));
        }
    }
    if (!step->fits && !r_.force)
        return Refused(run,
                       {Code::WrongBase, OtherBase(d, i == 0, step->size, crc), run.report.given});
    if (!step->fits)
        p.said << step->who + QStringLiteral("forced onto an image it was not made for");
    return true;
}

// A VCDIFF whose windows' checksums are not those of what it made: made for
// the file's own bytes (where it is the first patch), else for another
// image, applied only where forced.
EngineError PatchImage::WindowsDiffer(FileRun& run, Patching& p, std::size_t i, Step& step,
                                      std::vector<std::uint8_t>* target) {
    const QByteArray& patch = (*r_.patches)[i].bytes;
    if (i == 0 && p.layout != RomLayout::Plain) {
        std::vector<std::uint8_t> raw;
        const EngineError applied = Patch::Apply(patch, step.d, p.read, p.length, &raw);
        if (!applied.Failed()) {
            *target = std::move(raw);
            step.bytesIn = p.layout;
            p.said << step.who + QStringLiteral("applied to the bytes of %1, which it was made for")
                                     .arg(LayoutPhrase(p.layout));
            return {};
        }
    }
    if (!r_.force)
        return {Code::WrongBase,
                QStringLiteral("what the patch makes of it is not what its checksums describe"),
                run.report.given};
    step.fits = false;
    p.said << step.who + QStringLiteral("forced onto an image it was not made for");
    return {};
}

// An IPS names no base: where it was made for the image's bytes in another
// layout (an SMD file, an MD one, a byteswapped one), applied to the plain
// content it would scramble the game. It is tried on the image in each
// layout; the layout whose result alone has the more whole cartridge header
// (see HeaderWhole: "SEGA" and a checksum that sums right) is the one it
// was made for. Where none does better than the plain content, it goes to
// the plain content, as it always has. False when the image cannot be read.
bool PatchImage::IpsForm(FileRun& run, Patching& p, std::size_t i, Step* step) {
    std::vector<std::uint8_t> plain(std::size_t(step->size));
    if (!step->base(0, plain.data(), step->size))
        return Refused(run, Code::ReadFailed, FileOutcome::Failed);
    const QByteArray& patch = (*r_.patches)[i].bytes;
    auto judged = [&](RomLayout layout, const std::vector<std::uint8_t>& bytes) {
        std::vector<std::uint8_t> made;
        const std::int64_t n = std::int64_t(bytes.size());
        if (Patch::Apply(patch, step->d, RomInspector::MemoryReader(bytes.data(), n), n, &made)
                .Failed())
            return -1;
        if (layout != RomLayout::Plain) {
            const std::int64_t length = std::int64_t(made.size());
            if (!Mod_Convert::SizeAllowed(layout, RomLayout::Plain, length) ||
                !Cartridge::WholeWords(layout, length))
                return -1;
            std::vector<std::uint8_t> back(std::size_t(RomInspector::PlainSizeOf(layout, length)));
            // The stream keeps the reader it is given: it must outlive it.
            const ReadAt reader = RomInspector::MemoryReader(made.data(), length);
            RomInspector::PlainStream stream(reader, length, layout);
            if (!stream.Get(0, back.data(), std::int64_t(back.size())))
                return -1;
            made = std::move(back);
        }
        return HeaderWhole(made);
    };
    const int asPlain = judged(RomLayout::Plain, plain);
    RomLayout best = RomLayout::Plain;
    int bestScore = asPlain, ties = 0;
    for (const RomLayout layout : {RomLayout::Smd, RomLayout::Md, RomLayout::Byteswapped}) {
        std::vector<std::uint8_t> bytes;
        if (!InLayout(plain, layout, &bytes))
            continue;
        const int score = judged(layout, bytes);
        if (score > bestScore) {
            best = layout, bestScore = score, ties = 0;
            p.form = std::move(bytes);
        } else if (score == bestScore && best != RomLayout::Plain) {
            ++ties;
        }
    }
    if (best == RomLayout::Plain || ties > 0) {
        p.form.clear();
        return true;
    }
    step->base = RomInspector::MemoryReader(p.form.data(), std::int64_t(p.form.size()));
    step->size = std::int64_t(p.form.size());
    step->bytesIn = best;
    p.said << step->who + QStringLiteral("an IPS made for %1: applied to the image's bytes in "
                                         "that layout (only there does its result keep a whole "
                                         "cartridge header)")
                              .arg(LayoutPhrase(best));
    return true;
}

// Whether a patch made what it says it makes: a patch applied to its own
// base that does not is damaged.
bool PatchImage::Checked(FileRun& run, Patching& p, const Step& step,
                         const std::vector<std::uint8_t>& target) {
    if (!step.d.checksums)
        return true;
    const std::uint32_t made = Patch::Crc32(target.data(), std::int64_t(target.size()));
    if (made == step.d.targetCrc)
        p.said << step.who + QStringLiteral("target CRC32 %1 matches").arg(Hex32(made));
    else if (step.fits)
        return Refused(
            run,
            {Code::TargetDiffers, QStringLiteral("the patched image's CRC32 is %1, not the %2 the "
                                                 "patch makes: the patch is damaged")
                                      .arg(Hex32(made), Hex32(step.d.targetCrc))},
            FileOutcome::Failed);
    else
        p.said << step.who + QStringLiteral("target CRC32 %1, not the patch's %2")
                                 .arg(Hex32(made), Hex32(step.d.targetCrc));
    return true;
}

// The patched image as it is written: of a size its layout takes, with the
// header checksum the boot check computes once the patches are in.
bool PatchImage::MendChecksum(FileRun& run, Patching& p) {
    std::vector<std::uint8_t>& image = p.image;
    if (image.empty())
        return Refused(run, {Code::SizeRule, QStringLiteral("the patched image is empty")});
    // Only whole blocks make an SMD image, whole 16 KiB units an MD one.
    const RomLayout out = run.target;
    if (out != RomLayout::Plain &&
        !Mod_Convert::SizeAllowed(RomLayout::Plain, out, std::int64_t(image.size())))
        return Refused(run,
                       {Code::SizeRule,
                        QStringLiteral("the patched image of %1 bytes cannot be %2 (%3); "
                                       "--to bin writes it as a plain image")
                            .arg(qint64(image.size()))
                            .arg(LayoutPhrase(out), Cartridge::SizeRule(RomLayout::Plain, out))});
    RomInspector::Options options;
    options.fingerprints = false;
    const RomInspector::Report after = RomInspector::InspectData(
        RomInspector::MemoryReader(image.data(), std::int64_t(image.size())),
        std::int64_t(image.size()), options);
    Repair::Checksum sum;
    if (after.layout == RomLayout::Plain && !Repair::ChecksumOf(after, &sum).Failed() &&
        !sum.Right()) {
        if (r_.keepChecksum) {
            p.said << QStringLiteral("checksum %1 kept, the boot check sums %2")
                          .arg(RomInspector::Hex(sum.stored), RomInspector::Hex(sum.computed));
        } else {
            const std::int64_t size = std::int64_t(image.size());
            for (const auto& [at, byte] :
                 Repair::PutChecksum(RomLayout::Plain, size, sum.computed).bytes)
                image[std::size_t(at)] = byte;
            p.said << QStringLiteral("checksum %1, was %2")
                          .arg(RomInspector::Hex(sum.computed), RomInspector::Hex(sum.stored));
        }
    }
    if (!p.said.isEmpty())
        run.report.detail = QStringLiteral(" (") + p.said.join(QStringLiteral("; ")) + ")";
    return true;
}

} // namespace

std::unique_ptr<JobTaskRunner> PatchTask(JobRun& job) {
    return std::make_unique<PatchImage>(job);
}
