#pragma once

// Where an export puts an image and what it names it, by the device's
// profile: pure functions of the profile, the image's header and the names
// it could take.

#include "DeviceProfile.h"

namespace DeviceExport {

struct Placement {
    // The device runs no image of its machine: why, in a sentence's words.
    QString leftOut;
    QString folder; // under the export's folder, '/' between parts; "" for itself
    QString name;   // the file written: NAME.zip when zipped
    QString inner;  // a zip's entry; the same as name otherwise
    // What the name tells beyond the source's: the DAT gave it, and the
    // region its extension stands for where the profile chooses by region.
    bool fromDat = false;
    QString region;
};

// Places an image whose header is header: named after datName when it is
// not empty, else after sourceName up to its last dot.
Placement Place(const DeviceProfile::Profile& profile, const RomInspector::Header& header,
                const QString& datName, const QString& sourceName);

// A name as every file system a device reads takes it: the profile's
// characters, those FAT, exFAT and NTFS refuse and control characters as
// '_', no trailing dots or spaces, no device name of DOS (CON, COM1...),
// and no longer than 255 characters with its extension.
QString SafeName(const QString& stem, const QString& replace, int extensionLength);

// The letter folder a name goes into when its folder would hold too many
// files: its first letter in capitals (A to Z), or "#".
QString LetterFolder(const QString& name);

} // namespace DeviceExport
