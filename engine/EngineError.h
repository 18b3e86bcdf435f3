#pragma once

#include <QString>

// Why something the engine was asked to do did not happen, for every unit
// of the engine: a code that a caller can act on, and the words that tell it
// to a user, made by one table (Text) from the code, the thing concerned and
// what the system or a library said.
struct EngineError {
    enum class Code {
        None,
        Source,            // a source could not be opened: detail says why
        ReadFailed,        // a file could not be read
        SizeUnfit,         // the size does not fit the layout named in detail
        TooLarge,          // larger than detail MiB
        ArchiveUnreadable, // not an archive that can be read
        ArchiveDamaged,    // the archive itself is damaged
        Cancelled,         // the reading (or inspection) was cancelled
        NoImage,           // an archive holds no cartridge image
        SeveralImages,     // an archive holds detail files, not one image
        EntryRefused,      // the entry subject of an archive is refused: detail
        Nameless,          // an archive's entry has no file name of its own
        Link,              // an archive's entry is a link
        NotRegular,        // an archive's entry is not a regular file
        Encrypted,         // an archive's entry is encrypted
        Damaged,           // an archive's entry is damaged: detail
        OutOfMemory,       // not enough memory to read it
        ZipNotMade,        // a .zip could not be made
        DatTooLarge,       // the DAT file subject is larger than 256 MiB
        DatUnreadable,     // the DAT file subject cannot be opened or read
        DatMalformed,      // the DAT file subject is not well-formed: detail
        NotADat,           // the DAT file subject has no <datafile> element
        FolderNotMade,     // the folder subject could not be made: detail
        WriteFailed,       // a destination could not be written: detail
        NoHeader,          // no cartridge header to mend: detail says why
        TrimShort,         // not longer than the header's ROM end detail
        TrimOtherData,     // detail bytes past the ROM end subject are other data
        TrimNotWhole,      // a layout (detail) cannot end at the ROM end subject
        // What a conversion job refuses or meets.
        SourceIsFolder,     // a source named is a folder
        StdinUnreadable,    // standard input cannot be read: detail
        ArchiveEmpty,       // an archive holds no files
        EntryInPlace,       // an archive's entry cannot be mended in place
        SameFile,           // the destination detail is the one written for subject
        DestinationRefused, // the destination may not be written: detail
        ReplacesSource,     // a repair would replace its source
        DiscImage,          // a disc image, not a cartridge
        LayoutUnknown,      // the layout is not known: detail gives the reasons
        LooksLike,          // the content looks like the layout subject: detail is the evidence
        StdoutTaken,        // standard output already holds an image
        StdoutUnwritable,   // standard output cannot be written: detail
        NotFlushed,         // subject was written, but its folder not flushed: detail
        VerifyDiffers,      // what was read back differs from the source
        Scratch,            // a content cannot be held in a temporary file: detail
        // Why a source could not be converted, or its destination written.
        UnknownMode,       // no conversion has the mode detail (or the layouts)
        Missing,           // the file does not exist
        NameTooLong,       // a name on its path is longer than the system takes
        Changed,           // the file changed while it was read
        Empty,             // the file is empty
        SizeRule,          // the size breaks the conversion's rule, worded in detail
        HeaderOnly,        // an SMD image of its header alone
        ImageTooLarge,     // the image is larger than detail MiB
        ConvertMemory,     // not enough memory to convert it
        ArchiveRefused,    // an archive gives no image to convert: detail, or nothing
        DestinationExists, // the destination appeared meanwhile
        // What patching refuses or meets.
        PatchRefused,    // the patch subject cannot be applied: detail says why
        PatchDoesNotFit, // the patch reaches outside the image: detail says where
        WrongBase,       // subject is not the image the patch was made for: detail
        TargetDiffers,   // the patched image is not what the patch makes: detail
        PatchOverSource, // the patched image would replace its source
        TrimLockOn,      // trim of a lock-on combination
        FixdatFailed,    // the fixdat subject cannot be written: detail
        // Why the writer could not write a destination; detail: what the
        // system said, where it said something.
        WriterNoName,          // the destination names no file
        WriterNameRefused,     // the system does not take the name: detail says why
        WriterFolderUnopened,  // the destination's folder cannot be opened
        WriterNameTooLong,     // the destination's name is too long
        WriterFolderInTheWay,  // a folder has the destination's name
        WriterLinkToStream,    // the destination is a link to an open descriptor
        WriterLinkToFolder,    // the destination is a link to a folder
        WriterLinkToOther,     // the destination is a link to no regular file
        WriterLinkUnfollowed,  // the destination's link cannot be followed
        WriterNotRegular,      // the destination is not a regular file
        WriterFolderKeeps,     // the folder is append-only or immutable: nothing replaced
        WriterNotCreatedIn,    // the destination cannot be created in the folder subject
        WriterTemporaryKept,   // the same, where the drive writes under a temporary name first
        WriterTooMany,         // too many files are being written at once
        WriterNoTemporaryName, // no temporary name is free
        WriterNotWritten,      // the destination cannot be written
        WriterNotOnDisk,       // the destination cannot be written to disk
        WriterNotReplaced,     // the destination cannot be replaced
        WriterNotCreated,      // the destination cannot be created
        WriterFolderNotOnDisk, // the folder cannot be written to disk
        WriterOutOfTurn,       // the writer was used out of turn: detail says how
        FolderUnread,          // the folder subject cannot be listed
        // Exporting for a device.
        ProfilesUnreadable, // the profiles file subject cannot be read: detail
        ProfileMalformed,   // the profiles file subject is wrong at a line: detail
        ProfileUnknown,     // no profile has the name detail
        ManifestUnreadable, // the manifest subject cannot be read: detail
        ManifestMalformed,  // subject is no export manifest: detail says why
        ManifestNotWritten, // the manifest subject cannot be written: detail
        // A new code goes last, its words in the table of EngineError.cpp.
    };

    Code code = Code::None;
    QString subject; // the file or entry concerned, where the words name it
    QString detail;  // what the system or a library said, or a number

    EngineError() = default;
    EngineError(Code c, const QString& d = QString(), const QString& s = QString())
        : code(c), subject(s), detail(d) {}

    bool Failed() const { return code != Code::None; }
    // The words for a user.
    QString Text() const;
};
