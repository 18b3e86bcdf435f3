#pragma once

// What a device reads: where its images go, their extensions and names,
// and the machines it runs. The built-in profiles are a file of the
// program's resources; a user's own are read from files of the same form.

#include "EngineError.h"
#include "RomInspector.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace DeviceProfile {

// What a profile says of one machine's images.
struct ForMachine {
    bool runs = false;
    QString folder;    // under the export's folder, '/' between its parts; "" for itself
    QString extension; // ".bin"
};

struct Profile {
    QString name; // as given to --profile
    QString describe;
    // By RomInspector::Machine: Mega Drive (and images whose header names
    // no machine), 32X, Pico.
    ForMachine megaDrive, mega32x, pico;
    // A Mega Drive image's extension by region ("Americas"), in the order
    // an image of several regions is given one.
    std::vector<std::pair<QString, QString>> regionExtensions;
    QString replace; // characters written as '_' in names
    bool zip = false;
    int filesPerFolder = 0; // 0: no limit
    QString origin;         // the file it was read from; empty when built in

    const ForMachine& For(RomInspector::Machine machine) const;
};

// The profiles of a file's text; ProfileMalformed, naming the line, when
// one is wrong. origin names the file in messages.
EngineError Parse(const QByteArray& text, const QString& origin, std::vector<Profile>* profiles);

// The built-in profiles.
const std::vector<Profile>& BuiltIn();

// The user's own profiles file in the configuration folder (it need not
// exist).
QString UserFile();

// The built-in profiles, then those of the user's file where it exists, then
// those of the files given; a profile of a name met before takes its place.
EngineError LoadAll(const QStringList& files, std::vector<Profile>* profiles);

// The profile of that name, or null.
const Profile* Find(const std::vector<Profile>& profiles, const QString& name);

} // namespace DeviceProfile
