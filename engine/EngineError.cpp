#include "EngineError.h"

#include "SafeFile.h"

QString EngineError::Text() const {
    const QString named = SafeFile::Printable(subject);
    switch (code) {
    case Code::None:
        return QString();
    case Code::Source:
    case Code::DestinationRefused:
    case Code::SizeRule:
    case Code::FolderNotMade:
    case Code::NoHeader:
        return detail;
    case Code::TrimShort:
        return QStringLiteral("the file does not reach the header's ROM end %1: nothing to "
                              "trim")
            .arg(detail);
    case Code::TrimOtherData:
        return QStringLiteral("the %1 bytes past the header's ROM end %2 are other data, not "
                              "padding or a mirror (use --force to cut them)")
            .arg(detail, subject);
    case Code::TrimNotWhole:
        return QStringLiteral("%1 holds whole 16 KiB blocks: it cannot end at the header's ROM "
                              "end %2")
            .arg(detail, subject);
    case Code::ReadFailed:
        return QStringLiteral("the file cannot be read");
    case Code::SizeUnfit:
        return QStringLiteral("the size does not fit ") + detail;
    case Code::TooLarge:
        return QStringLiteral("it is larger than %1 MiB").arg(detail);
    case Code::ArchiveUnreadable:
        return QStringLiteral("it is not an archive that can be read: ") + detail;
    case Code::ArchiveDamaged:
        return QStringLiteral("the archive is damaged: ") + detail;
    case Code::Cancelled:
        return QStringLiteral("the reading was cancelled");
    case Code::NoImage:
        return QStringLiteral("the archive holds no cartridge image");
    case Code::SeveralImages:
        return QStringLiteral("the archive holds %1 files, not one cartridge image").arg(detail);
    case Code::EntryRefused:
        return subject + QStringLiteral(" in the archive: ") + detail;
    case Code::Nameless:
        return QStringLiteral("the entry has no file name of its own");
    case Code::Link:
        return QStringLiteral("it is a link, not a file");
    case Code::NotRegular:
        return QStringLiteral("it is not a regular file");
    case Code::Encrypted:
        return QStringLiteral("it is encrypted");
    case Code::Damaged:
        return QStringLiteral("it is damaged: ") + detail;
    case Code::OutOfMemory:
        return QStringLiteral("not enough memory to read it");
    case Code::ZipNotMade:
        return QStringLiteral("the zip file cannot be made: ") + detail;
    case Code::DatTooLarge:
        return named + QStringLiteral(": the file is larger than 256 MiB");
    case Code::DatUnreadable:
        return named + QStringLiteral(": ") + detail;
    case Code::DatMalformed:
        return named + QStringLiteral(": ") + detail;
    case Code::NotADat:
        return named + QStringLiteral(": line 1: not a DAT file (no <datafile> element)");
    case Code::SourceIsFolder:
        return QStringLiteral("it is a folder (use -r to walk it)");
    case Code::StdinUnreadable:
        return QStringLiteral("standard input cannot be read: ") + detail;
    case Code::ArchiveEmpty:
        return QStringLiteral("the archive holds no files");
    case Code::EntryInPlace:
        return QStringLiteral("an entry of an archive cannot be mended in place");
    case Code::OutputFolder:
        return QStringLiteral("the folder %1 cannot be made: %2")
            .arg(SafeFile::Quoted(subject), detail);
    case Code::SameFile:
        return SafeFile::Quoted(detail) +
               QStringLiteral(" is the same file as the destination of ") +
               SafeFile::Quoted(subject) + QStringLiteral(", written earlier in this run");
    case Code::ReplacesSource:
        return QStringLiteral(
            "it would replace its source: use --in-place to mend the file itself, or -o DIR");
    case Code::DiscImage:
        return QStringLiteral("it is a disc image, not a cartridge");
    case Code::LayoutUnknown:
        return QStringLiteral("the layout is unknown (") + detail + QStringLiteral(")");
    case Code::LooksLike:
        return QStringLiteral("looks like %1 (%2)").arg(subject, detail);
    case Code::StdoutTaken:
        return QStringLiteral("standard output already holds an image");
    case Code::StdoutUnwritable:
        return QStringLiteral("standard output cannot be written: ") + detail;
    case Code::NotFlushed:
        return SafeFile::Quoted(subject) + QStringLiteral(" was written, but ") + detail;
    case Code::WriteFailed:
        return detail.isEmpty() ? QStringLiteral("the destination cannot be written") : detail;
    case Code::UnknownMode:
        return QStringLiteral("unknown conversion mode %1").arg(detail);
    case Code::Missing:
        return QStringLiteral("the file does not exist");
    case Code::NameTooLong:
        return QStringLiteral("the file name is too long");
    case Code::Changed:
        return QStringLiteral("it changed while it was read");
    case Code::Empty:
        return QStringLiteral("the file is empty");
    case Code::HeaderOnly:
        return QStringLiteral("the SMD image holds only its 512-byte header");
    case Code::ImageTooLarge:
        return QStringLiteral("the image is larger than %1 MiB").arg(detail);
    case Code::ConvertMemory:
        return QStringLiteral("not enough memory to convert the file");
    case Code::ArchiveRefused:
        return detail.isEmpty() ? QStringLiteral("the archive cannot be read") : detail;
    case Code::DestinationExists:
        return QStringLiteral("the destination already exists");
    case Code::Scratch:
        return QStringLiteral("it cannot be held in a temporary file while it is converted: ") +
               detail;
    case Code::VerifyDiffers:
        return QStringLiteral("its plain content differs from the source's");
    }
    return detail;
}
