#pragma once

#include "ConversionMode.h"
#include "RomLayout.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

constexpr int ExitConverted = 0;
constexpr int ExitSomeFailed = 1;
constexpr int ExitUsage = 2;

extern const char* const UsageText;
extern const char* const ShortUsage;
extern const char* const VersionText;

enum class Command { Mode, ToLayout, Info, FixChecksum, Trim, Patch, Audit, MakePatch, Export };

// What a command word asks for: a fixed mode, a target layout, info, or a
// repair.
struct Job {
    Command command = Command::Mode;
    std::int32_t mode = SMDtoBIN;
    RomLayout target = RomLayout::Plain;
};

struct Arguments {
    Job job;
    QStringList files;
    QString output; // empty: the current folder; "-" for standard output
    QString name;   // the name of a source read from standard input
    QStringList dats;
    QStringList patches;       // patch: applied in order
    QString to;                // patch: the layout written, as given
    QString fixdat;            // audit: where the DAT of the missing games goes
    bool noCache = false;      // every DAT and (audit) file read, none taken from the cache
    QString format;            // make-patch: bps, ips or ups, as given
    QString metadata;          // make-patch: a BPS patch's metadata
    bool asIs = false;         // make-patch: between the files as they are
    bool allowSame = false;    // make-patch: a patch of two equal images is written
    QString profile;           // export: the device's profile
    QStringList profileFiles;  // export: files of the user's own profiles
    bool listProfiles = false; // export: show the profiles instead
    QString undo;              // export: the manifest of an export to undo
    QString filesFrom;         // "-" for standard input
    bool filesFromSet = false;
    // How many files are converted or inspected at once: as many as there
    // are cores (0).
    int jobs = 0;
    bool overwrite = false;
    bool skipExisting = false;
    bool dryRun = false;
    bool inPlace = false;
    bool force = false;
    bool verify = false;
    bool json = false;
    bool datNames = false;
    bool zip = false;
    bool fullStem = false;
    bool recursive = false;
    bool null = false;
    bool quiet = false;
    bool keepChecksum = false;

    // The one image goes to standard output.
    bool ToStdout() const { return output == QLatin1String("-"); }
};

// Reads the words of the command line in the usual GNU form (-o DIR, -oDIR,
// --output DIR, --output=DIR, short options together as -rq, -- before
// names that start with a dash). Nothing, with the exit status in status
// (0 after --help or --version), when the run ends here.
std::optional<Arguments> ParseArguments(const QStringList& words, int* status);

// The command word of a conversion mode ("smd2bin").
QString ModeWord(std::int32_t mode);

// One usage message on standard error; the exit status of a usage error.
int UsageError(const QString& why);

// A name for a message, with the bytes it cannot show escaped.
QString Shown(const QString& name);
// A name for a message as Shown, in single quotes when it holds a space or
// a character the shell would take for its own, as GNU tools quote names.
QString Quoted(const QString& name);
