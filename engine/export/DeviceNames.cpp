#include "DeviceNames.h"

#include "FileFunctions.h"

namespace DeviceExport {

namespace {

// What the machine is called in the line of an image left out.
QString MachinePhrase(RomInspector::Machine machine) {
    switch (machine) {
    case RomInspector::Machine::Mega32X:
        return QStringLiteral("a 32X game");
    case RomInspector::Machine::Pico:
        return QStringLiteral("a Pico game");
    case RomInspector::Machine::MegaDrive:
    case RomInspector::Machine::Unknown:
        break;
    }
    return QStringLiteral("a Mega Drive game");
}

// How long the name's first part is when it is a device name of DOS (CON,
// COM1...), which Windows and FAT take for the device whatever follows the
// dot; 0 otherwise.
qsizetype DosDevice(const QString& name) {
    const QString base = name.section(QLatin1Char('.'), 0, 0);
    const QString word = base.trimmed().toUpper();
    const bool device =
        word == QLatin1String("CON") || word == QLatin1String("PRN") ||
        word == QLatin1String("AUX") || word == QLatin1String("NUL") ||
        (word.size() == 4 &&
         (word.startsWith(QLatin1String("COM")) || word.startsWith(QLatin1String("LPT"))) &&
         word[3] >= QLatin1Char('1') && word[3] <= QLatin1Char('9'));
    return device ? base.size() : 0;
}

} // namespace

QString SafeName(const QString& stem, const QString& replace, int extensionLength) {
    static const QString refused = QStringLiteral("\"*/:<>?\\|");
    QString name;
    name.reserve(stem.size());
    for (const QChar c : stem)
        name +=
            replace.contains(c) || refused.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7F
                ? QLatin1Char('_')
                : c;
    // FAT and NTFS drop trailing dots and spaces: two names would become one.
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("_");
    if (const qsizetype device = DosDevice(name); device > 0)
        name.insert(device, QLatin1Char('_'));
    const int most = 255 - extensionLength;
    if (name.size() > most) {
        name.truncate(most);
        // Never half of a pair of surrogates.
        if (name.back().isHighSurrogate())
            name.chop(1);
        while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
            name.chop(1);
    }
    return name;
}

QString LetterFolder(const QString& name) {
    const QChar first = name.isEmpty() ? QChar() : name[0].toUpper();
    if (first >= QLatin1Char('A') && first <= QLatin1Char('Z'))
        return QString(first);
    return QStringLiteral("#");
}

Placement Place(const DeviceProfile::Profile& profile, const RomInspector::Header& header,
                const QString& datName, const QString& sourceName) {
    Placement p;
    const DeviceProfile::ForMachine& machine = profile.For(header.machine);
    if (!machine.runs) {
        p.leftOut =
            MachinePhrase(header.machine) +
            QStringLiteral(", which the device of the profile %1 does not run").arg(profile.name);
        return p;
    }
    p.folder = machine.folder;
    QString extension = machine.extension;
    // The region decides a Mega Drive image's extension where the profile
    // says so; the first of its regions the image runs in.
    if (&machine == &profile.megaDrive)
        for (const auto& [region, regionExtension] : profile.regionExtensions)
            if (header.regions.contains(region)) {
                extension = regionExtension;
                p.region = region;
                break;
            }
    p.fromDat = !datName.isEmpty();
    const QString stem = p.fromDat ? datName : FileFunctions::GetFullStem(sourceName);
    const QString outer = profile.zip ? QStringLiteral(".zip") : extension;
    const QString safe =
        SafeName(stem, profile.replace, int(std::max(outer.size(), extension.size())));
    p.name = safe + outer;
    p.inner = safe + extension;
    return p;
}

} // namespace DeviceExport
