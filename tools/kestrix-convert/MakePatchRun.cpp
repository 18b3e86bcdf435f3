#include "MakePatchRun.h"

#include "Output.h"
#include "PatchMaker.h"
#include "SafeFile.h"
#include "Sources.h"

namespace {

// One of the two images, read and prepared.
bool Read(const QString& given, bool asIs, PatchMaker::Side* side) {
    side->path = given;
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

QString Named(const PatchMaker::Side& side) {
    const QString name =
        side.path == QLatin1String("-") ? QStringLiteral("standard input") : Shown(side.path);
    return side.layout == RomLayout::Unknown ? name : name + " (" + LayoutName(side.layout) + ")";
}

} // namespace

int MakePatchRun(const Arguments& a) {
    PatchMaker::Side original, modified;
    if (!Read(a.files.at(0), a.asIs, &original) || !Read(a.files.at(1), a.asIs, &modified))
        return ExitSomeFailed;
    const QString between =
        a.asIs ? QStringLiteral("the files as they are") : QStringLiteral("the plain contents");
    const Patch::Kind kind = a.format == QLatin1String("ips")   ? Patch::Kind::Ips
                             : a.format == QLatin1String("ups") ? Patch::Kind::Ups
                                                                : Patch::Kind::Bps;
    std::int64_t size = 0;
    if (const EngineError made = PatchMaker::MakeFile(
            original, modified, kind, a.metadata.toUtf8(), a.allowSame, a.output,
            a.overwrite ? SafeFile::Existing::ReplaceAny : SafeFile::Existing::Keep, &size);
        made.Failed()) {
        Message() << "cannot make the patch " << Quoted(a.output) << ": "
                  << (made.code == EngineError::Code::PatchRefused ? made.detail : Told(made))
                  << (original.bytes == modified.bytes && !a.allowSame
                          ? " (" + between + "; --allow-same writes one that changes nothing)"
                          : QString())
                  << (SafeFile::EntryExists(a.output) && !a.overwrite &&
                              made.code != EngineError::Code::PatchRefused
                          ? QStringLiteral(" (use --overwrite to replace it)")
                          : QString())
                  << "\n";
        return ExitSomeFailed;
    }
    Out() << Shown(a.output) << ": " << Patch::KindName(kind) << " patch of " << qint64(size)
          << " bytes, between " << between << " of " << Named(original) << " and "
          << Named(modified) << "\n";
    Out().Flush();
    return ExitConverted;
}
