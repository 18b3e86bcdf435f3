#include "EngineError.h"

#include "SafeFile.h"

#include <iterator>

namespace {

using Code = EngineError::Code;

// The words of every code, in the order of the codes; what a front end's
// user can do about it is the front end's to add. In a text, %d is the
// detail, %s the subject as it is, %n the subject as a name for a message,
// %q the subject quoted, %Q the detail quoted; where the detail is empty,
// the second text is said instead: every text with a detail has one, so
// that no error is ever told as nothing.
struct Wording {
    Code code;
    const char* text;
    const char* bare = nullptr;
};

constexpr Wording Wordings[] = {
    {Code::None, ""},
    {Code::Source, "%d", "the file cannot be opened"},
    {Code::ReadFailed, "the file cannot be read"},
    {Code::SizeUnfit, "the size does not fit %d", "the size does not fit the layout"},
    {Code::TooLarge, "it is larger than %d MiB", "it is too large"},
    {Code::ArchiveUnreadable, "it is not an archive that can be read: %d",
     "it is not an archive that can be read"},
    {Code::ArchiveDamaged, "the archive is damaged: %d", "the archive is damaged"},
    {Code::Cancelled, "the reading was cancelled"},
    {Code::NoImage, "the archive holds no cartridge image"},
    {Code::SeveralImages, "the archive holds %d files, not one cartridge image",
     "the archive holds several files, not one cartridge image"},
    {Code::EntryRefused, "%s in the archive: %d", "%s in the archive is refused"},
    {Code::Nameless, "the entry has no file name of its own"},
    {Code::Link, "it is a link, not a file"},
    {Code::NotRegular, "it is not a regular file"},
    {Code::Encrypted, "it is encrypted"},
    {Code::Damaged, "it is damaged: %d", "it is damaged"},
    {Code::OutOfMemory, "not enough memory to read it"},
    {Code::ZipNotMade, "the zip file cannot be made: %d", "the zip file cannot be made"},
    {Code::DatTooLarge, "%n: the file is larger than 256 MiB"},
    {Code::DatUnreadable, "%n: %d", "%n: the file cannot be read"},
    {Code::DatMalformed, "%n: %d", "%n: it is not well-formed XML"},
    {Code::NotADat, "%n: line 1: not a DAT file (no <datafile> element)"},
    {Code::FolderNotMade, "the folder %q cannot be made: %d", "the folder %q cannot be made"},
    {Code::WriteFailed, "%d", "the destination cannot be written"},
    {Code::NoHeader, "%d", "there is no cartridge header to mend"},
    {Code::TrimShort, "the file does not reach the header's ROM end %d: nothing to trim",
     "the file does not reach the header's ROM end: nothing to trim"},
    {Code::TrimOtherData,
     "the %d bytes past the header's ROM end %s are other data, not padding or a mirror",
     "the bytes past the header's ROM end %s are other data, not padding or a mirror"},
    {Code::TrimNotWhole, "%d holds whole 16 KiB blocks: it cannot end at the header's ROM end %s",
     "the layout holds whole 16 KiB blocks: it cannot end at the header's ROM end %s"},
    {Code::SourceIsFolder, "it is a folder"},
    {Code::StdinUnreadable, "standard input cannot be read: %d", "standard input cannot be read"},
    {Code::ArchiveEmpty, "the archive holds no files"},
    {Code::EntryInPlace, "an entry of an archive cannot be mended in place"},
    {Code::SameFile, "%Q is the same file as the destination of %q, written earlier in this run",
     "the destination is the same file as the destination of %q, written earlier in this run"},
    {Code::DestinationRefused, "%d", "the destination may not be written"},
    {Code::ReplacesSource, "it would replace its source"},
    {Code::DiscImage, "it is a disc image, not a cartridge"},
    {Code::LayoutUnknown, "the layout is unknown (%d)", "the layout is unknown"},
    {Code::LooksLike, "looks like %s (%d)", "looks like %s"},
    {Code::StdoutTaken, "standard output already holds an image"},
    {Code::StdoutUnwritable, "standard output cannot be written: %d",
     "standard output cannot be written"},
    {Code::NotFlushed, "%q was written, but %d",
     "%q was written, but its folder cannot be written to disk"},
    {Code::VerifyDiffers, "its plain content differs from the source's"},
    {Code::Scratch, "it cannot be held in a temporary file while it is converted: %d",
     "it cannot be held in a temporary file while it is converted"},
    {Code::UnknownMode, "unknown conversion mode %d", "unknown conversion"},
    {Code::Missing, "the file does not exist"},
    {Code::NameTooLong, "the file name is too long"},
    {Code::Changed, "it changed while it was read"},
    {Code::Empty, "the file is empty"},
    {Code::SizeRule, "%d", "the size breaks the conversion's rule"},
    {Code::HeaderOnly, "the SMD image holds only its 512-byte header"},
    {Code::ImageTooLarge, "the image is larger than %d MiB", "the image is too large"},
    {Code::ConvertMemory, "not enough memory to convert the file"},
    {Code::ArchiveRefused, "%d", "the archive cannot be read"},
    {Code::DestinationExists, "the destination already exists"},
    {Code::PatchRefused, "%n: %d", "%n: the patch cannot be applied"},
    {Code::PatchDoesNotFit, "the patch does not fit this image: %d",
     "the patch does not fit this image"},
    {Code::WrongBase, "%n is not the image this patch was made for: %d",
     "%n is not the image this patch was made for"},
    {Code::TargetDiffers, "%d", "the patched image is not the one the patch makes"},
    {Code::PatchOverSource, "it would replace its source"},
    {Code::TrimLockOn, "it is two cartridges, not padding"},
    {Code::FixdatFailed, "the fixdat %q cannot be written: %d", "the fixdat %q cannot be written"},
    {Code::WriterNoName, "the destination names no file"},
    {Code::WriterNameRefused, "%d", "the system does not take the destination's name"},
    {Code::WriterFolderUnopened, "the folder cannot be opened: %d", "the folder cannot be opened"},
    {Code::WriterNameTooLong, "the destination name is too long"},
    {Code::WriterFolderInTheWay, "a folder has the destination's name"},
    {Code::WriterLinkToStream,
     "the destination is a link to an open descriptor (such as /dev/stdout)"},
    {Code::WriterLinkToFolder, "the destination is a link to a folder"},
    {Code::WriterLinkToOther, "the destination is a link to something that is not a regular file"},
    {Code::WriterLinkUnfollowed, "the destination's link cannot be followed: %d",
     "the destination's link cannot be followed"},
    {Code::WriterNotRegular, "the destination is not a regular file"},
    {Code::WriterFolderKeeps,
     "the destination cannot be replaced: its folder is append-only or immutable"},
    {Code::WriterNotCreatedIn, "the destination cannot be created in the folder %q: %d",
     "the destination cannot be created in the folder %q"},
    {Code::WriterTemporaryKept,
     "the destination cannot be created: its folder is append-only or immutable, and this "
     "drive writes a file under a temporary name first"},
    {Code::WriterTooMany, "too many files are being written at once: %d",
     "too many files are being written at once"},
    {Code::WriterNoTemporaryName, "no temporary name is free: %d", "no temporary name is free"},
    {Code::WriterNotWritten, "the destination cannot be written: %d",
     "the destination cannot be written"},
    {Code::WriterNotOnDisk, "the destination cannot be written to disk: %d",
     "the destination cannot be written to disk"},
    {Code::WriterNotReplaced, "the destination cannot be replaced: %d",
     "the destination cannot be replaced"},
    {Code::WriterNotCreated, "the destination cannot be created: %d",
     "the destination cannot be created"},
    {Code::WriterFolderNotOnDisk, "the folder cannot be written to disk: %d",
     "the folder cannot be written to disk"},
    {Code::WriterOutOfTurn, "the writer was used out of turn: %d",
     "the writer was used out of turn"},
    {Code::FolderUnread, "cannot read the folder %q: %d", "cannot read the folder %q"},
    {Code::ProfilesUnreadable, "the device profiles %q cannot be read: %d",
     "the device profiles %q cannot be read"},
    {Code::ProfileMalformed, "%n: %d", "%n: it is not a file of device profiles"},
    {Code::ProfileUnknown, "no device profile is named %Q", "no device profile is named"},
    {Code::ManifestUnreadable, "the export manifest %q cannot be read: %d",
     "the export manifest %q cannot be read"},
    {Code::ManifestMalformed, "%n is not a manifest of an export: %d",
     "%n is not a manifest of an export"},
    {Code::ManifestNotWritten, "the export manifest %q cannot be written: %d",
     "the export manifest %q cannot be written"},
};

constexpr bool InOrder() {
    for (std::size_t i = 0; i < std::size(Wordings); ++i)
        if (std::size_t(Wordings[i].code) != i)
            return false;
    return std::size(Wordings) == std::size_t(Code::ManifestNotWritten) + 1;
}
static_assert(InOrder(), "one wording for each code, in the order of the codes");

constexpr bool EveryDetailHasItsBareWords() {
    for (const Wording& w : Wordings) {
        bool detail = false;
        for (const char* c = w.text; *c; ++c)
            detail = detail || (c[0] == '%' && (c[1] == 'd' || c[1] == 'Q'));
        if (detail && !w.bare)
            return false;
    }
    return true;
}
static_assert(EveryDetailHasItsBareWords(), "words for each code told without its detail");

} // namespace

QString EngineError::Text() const {
    if (std::size_t(code) >= std::size(Wordings))
        return detail;
    const Wording& w = Wordings[std::size_t(code)];
    const QString text = QString::fromUtf8(detail.isEmpty() && w.bare ? w.bare : w.text);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('%') || i + 1 == text.size()) {
            out += text.at(i);
            continue;
        }
        switch (text.at(++i).unicode()) {
        case 'd':
            out += detail;
            break;
        case 's':
            out += subject;
            break;
        case 'n':
            out += SafeFile::Printable(subject);
            break;
        case 'q':
            out += SafeFile::Quoted(subject);
            break;
        case 'Q':
            out += SafeFile::Quoted(detail);
            break;
        default:
            out += QLatin1Char('%') + text.at(i);
        }
    }
    return out;
}
