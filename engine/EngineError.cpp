#include "EngineError.h"

#include "SafeFile.h"

#include <iterator>

namespace {

using Code = EngineError::Code;

// The words of every code, in the order of the codes. In a text, %d is the
// detail, %s the subject as it is, %n the subject as a name for a message,
// %q the subject quoted, %Q the detail quoted; where the detail is empty,
// the second text (when there is one) is said instead.
struct Wording {
    Code code;
    const char* text;
    const char* bare = nullptr;
};

constexpr Wording Wordings[] = {
    {Code::None, ""},
    {Code::Source, "%d"},
    {Code::ReadFailed, "the file cannot be read"},
    {Code::SizeUnfit, "the size does not fit %d"},
    {Code::TooLarge, "it is larger than %d MiB"},
    {Code::ArchiveUnreadable, "it is not an archive that can be read: %d"},
    {Code::ArchiveDamaged, "the archive is damaged: %d"},
    {Code::Cancelled, "the reading was cancelled"},
    {Code::NoImage, "the archive holds no cartridge image"},
    {Code::SeveralImages, "the archive holds %d files, not one cartridge image"},
    {Code::EntryRefused, "%s in the archive: %d"},
    {Code::Nameless, "the entry has no file name of its own"},
    {Code::Link, "it is a link, not a file"},
    {Code::NotRegular, "it is not a regular file"},
    {Code::Encrypted, "it is encrypted"},
    {Code::Damaged, "it is damaged: %d"},
    {Code::OutOfMemory, "not enough memory to read it"},
    {Code::ZipNotMade, "the zip file cannot be made: %d"},
    {Code::DatTooLarge, "%n: the file is larger than 256 MiB"},
    {Code::DatUnreadable, "%n: %d"},
    {Code::DatMalformed, "%n: %d"},
    {Code::NotADat, "%n: line 1: not a DAT file (no <datafile> element)"},
    {Code::FolderNotMade, "%d"},
    {Code::WriteFailed, "%d", "the destination cannot be written"},
    {Code::NoHeader, "%d"},
    {Code::TrimShort, "the file does not reach the header's ROM end %d: nothing to trim"},
    {Code::TrimOtherData, "the %d bytes past the header's ROM end %s are other data, not "
                          "padding or a mirror (use --force to cut them)"},
    {Code::TrimNotWhole, "%d holds whole 16 KiB blocks: it cannot end at the header's ROM "
                         "end %s"},
    {Code::SourceIsFolder, "it is a folder (use -r to walk it)"},
    {Code::StdinUnreadable, "standard input cannot be read: %d"},
    {Code::ArchiveEmpty, "the archive holds no files"},
    {Code::EntryInPlace, "an entry of an archive cannot be mended in place"},
    {Code::OutputFolder, "the folder %q cannot be made: %d"},
    {Code::SameFile, "%Q is the same file as the destination of %q, written earlier in this "
                     "run"},
    {Code::DestinationRefused, "%d"},
    {Code::ReplacesSource,
     "it would replace its source: use --in-place to mend the file itself, or -o DIR"},
    {Code::DiscImage, "it is a disc image, not a cartridge"},
    {Code::LayoutUnknown, "the layout is unknown (%d)"},
    {Code::LooksLike, "looks like %s (%d)"},
    {Code::StdoutTaken, "standard output already holds an image"},
    {Code::StdoutUnwritable, "standard output cannot be written: %d"},
    {Code::NotFlushed, "%q was written, but %d"},
    {Code::VerifyDiffers, "its plain content differs from the source's"},
    {Code::Scratch, "it cannot be held in a temporary file while it is converted: %d"},
    {Code::UnknownMode, "unknown conversion mode %d", "unknown conversion"},
    {Code::Missing, "the file does not exist"},
    {Code::NameTooLong, "the file name is too long"},
    {Code::Changed, "it changed while it was read"},
    {Code::Empty, "the file is empty"},
    {Code::SizeRule, "%d"},
    {Code::HeaderOnly, "the SMD image holds only its 512-byte header"},
    {Code::ImageTooLarge, "the image is larger than %d MiB"},
    {Code::ConvertMemory, "not enough memory to convert the file"},
    {Code::ArchiveRefused, "%d", "the archive cannot be read"},
    {Code::DestinationExists, "the destination already exists"},
    {Code::InspectionCancelled, "the inspection was cancelled"},
    {Code::PatchRefused, "%n: %d"},
    {Code::PatchDoesNotFit, "the patch does not fit this image: %d"},
    {Code::WrongBase, "%n is not the image this patch was made for: %d"},
    {Code::TargetDiffers, "%d"},
    {Code::PatchOverSource, "it would replace its source: write into another folder with -o DIR"},
    {Code::TrimLockOn, "it is two cartridges, not padding"},
    {Code::FixdatFailed, "the fixdat %q cannot be written: %d"},
};

constexpr bool InOrder() {
    for (std::size_t i = 0; i < std::size(Wordings); ++i)
        if (std::size_t(Wordings[i].code) != i)
            return false;
    return std::size(Wordings) == std::size_t(Code::FixdatFailed) + 1;
}
static_assert(InOrder(), "one wording for each code, in the order of the codes");

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
