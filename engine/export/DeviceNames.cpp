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

bool IsDosDevice(const QString& stem) {
    const QString base = stem.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    if (base == QLatin1String("CON") || base == QLatin1String("PRN") ||
        base == QLatin1String("AUX") || base == QLatin1String("NUL"))
        return true;
    return base.size() == 4 &&
           (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
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
    if (IsDosDevice(name))
        name += QLatin1Char('_');
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
