#include "MakePatchRun.h"

#include "Output.h"
#include "PatchMaker.h"
#include "SafeFile.h"
#include "Sources.h"

namespace {

// One of the two images, read and prepared.
struct Side {
    QString given;
    QByteArray bytes;
    RomLayout layout = RomLayout::Unknown;
};

bool Read(const QString& given, bool asIs, Side* side) {
    side->given = given;
    EngineError read = given == QLatin1String("-")
                           ? ReadStandardInput(Cartridge::MaxSourceSize, &side->bytes)
                           : PatchMaker::ReadImage(given, &side->bytes);
    if (!read.Failed() && side->bytes.isEmpty())
        read = EngineError(EngineError::Code::SizeRule, QStringLiteral("it is empty"));
    if (!read.Failed())
        read = PatchMaker::Prepare(&side->bytes, asIs, &side->layout);
    if (read.Failed()) {
        Message() << "cannot read "
                  << (given == QLatin1String("-") ? QStringLiteral("standard input")
                                                  : Quoted(given))
                  << ": " << Told(read) << "\n";
        return false;
    }
    return true;
}

QString Named(const Side& side) {
    const QString name =
        side.given == QLatin1String("-") ? QStringLiteral("standard input") : Shown(side.given);
    return side.layout == RomLayout::Unknown ? name : name + " (" + LayoutName(side.layout) + ")";
}

} // namespace

int MakePatchRun(const Arguments& a) {
    Side original, modified;
    if (!Read(a.files.at(0), a.asIs, &original) || !Read(a.files.at(1), a.asIs, &modified))
        return ExitSomeFailed;
    const QString between =
        a.asIs ? QStringLiteral("the files as they are") : QStringLiteral("the plain contents");
    if (original.bytes == modified.bytes && !a.allowSame) {
        Message() << Named(original) << " and " << Named(modified) << " are the same (" << between
                  << "): no patch is made (--allow-same writes one that changes nothing)\n";
        return ExitSomeFailed;
    }
    // Never over a file it reads.
    const SafeFile::FileId out = SafeFile::IdentityOf(a.output);
    for (const QString& given : a.files)
        if (out.IsValid() && given != QLatin1String("-") && SafeFile::IdentityOf(given) == out) {
            Message() << "the patch " << Quoted(a.output) << " would replace " << Quoted(given)
                      << ", which it is made of\n";
            return ExitSomeFailed;
        }
    const Patch::Kind kind = a.format == QLatin1String("ips")   ? Patch::Kind::Ips
                             : a.format == QLatin1String("ups") ? Patch::Kind::Ups
                                                                : Patch::Kind::Bps;
    const PatchMaker::Images images{
        reinterpret_cast<const std::uint8_t*>(original.bytes.constData()), original.bytes.size(),
        reinterpret_cast<const std::uint8_t*>(modified.bytes.constData()), modified.bytes.size()};
    QByteArray patch;
    if (const EngineError made = PatchMaker::Make(kind, images, a.metadata.toUtf8(), &patch);
        made.Failed()) {
        Message() << "cannot make the patch: " << made.detail << "\n";
        return ExitSomeFailed;
    }
    if (const EngineError written = SafeFile::WriteFile(a.output, patch,
                                                        a.overwrite ? SafeFile::Existing::ReplaceAny
                                                                    : SafeFile::Existing::Keep);
        written.Failed()) {
        Message() << Told(written)
                  << (SafeFile::EntryExists(a.output) && !a.overwrite
                          ? QStringLiteral(" (use --overwrite to replace it)")
                          : QString())
                  << "\n";
        return ExitSomeFailed;
    }
    Out() << Shown(a.output) << ": " << Patch::KindName(kind) << " patch of "
          << qint64(patch.size()) << " bytes, between " << between << " of " << Named(original)
          << " and " << Named(modified) << "\n";
    Out().Flush();
    return ExitConverted;
}
