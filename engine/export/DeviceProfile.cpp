#include "DeviceProfile.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

#include <set>

namespace DeviceProfile {

const ForMachine& Profile::For(RomInspector::Machine machine) const {
    switch (machine) {
    case RomInspector::Machine::Mega32X:
        return mega32x;
    case RomInspector::Machine::Pico:
        return pico;
    case RomInspector::Machine::MegaDrive:
    case RomInspector::Machine::Unknown:
        break;
    }
    return megaDrive;
}

namespace {

// The machines and regions as profiles name them.
ForMachine* MachineNamed(Profile& p, const QString& word) {
    if (word == QLatin1String("megadrive"))
        return &p.megaDrive;
    if (word == QLatin1String("32x"))
        return &p.mega32x;
    if (word == QLatin1String("pico"))
        return &p.pico;
    return nullptr;
}

QString RegionNamed(const QString& word) {
    for (const char* region : {"Japan", "Americas", "Europe", "Asia"})
        if (word == QString::fromLatin1(region).toLower())
            return QString::fromLatin1(region);
    return QString();
}

bool IsExtension(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\.[A-Za-z0-9]{1,8}$"));
    return form.match(text).hasMatch();
}

// A folder under the export's: relative, in '/'-separated parts none of
// which leaves it or names nothing.
bool IsFolder(const QString& text) {
    if (text.isEmpty())
        return true;
    static const QRegularExpression refused(QStringLiteral("[\\\\:*?\"<>|\\x00-\\x1f]"));
    if (text.contains(refused))
        return false;
    for (const QString& part : text.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") ||
            part.endsWith(QLatin1Char('.')) || part.endsWith(QLatin1Char(' ')))
            return false;
    return true;
}

// Reads one profiles file, line by line.
class Reader {
public:
    Reader(const QString& origin, std::vector<Profile>* profiles)
        : origin_(origin), profiles_(profiles) {}

    EngineError Line(int number, QString line) {
        number_ = number;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            return {};
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return Wrong(QStringLiteral("a profile's name ends with ]"));
            return Begin(line.mid(1, line.size() - 2).trimmed());
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return Wrong(QStringLiteral("expected [name] or key = value"));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (current_ < 0)
            return Wrong(QStringLiteral("'%1' comes before any [profile]").arg(key));
        if (!keys_.insert(key).second)
            return Wrong(QStringLiteral("'%1' is given twice").arg(key));
        return Value(Current(), key, value);
    }

    // The profile read last is whole.
    EngineError End() {
        if (current_ < 0)
            return {};
        const Profile& p = Current();
        number_ = begun_;
        if (p.describe.isEmpty())
            return Wrong(QStringLiteral("[%1] has no describe").arg(p.name));
        if (!p.megaDrive.runs && !p.mega32x.runs && !p.pico.runs)
            return Wrong(QStringLiteral("[%1] has no machines").arg(p.name));
        for (const ForMachine* m : {&p.megaDrive, &p.mega32x, &p.pico})
            if (m->runs && m->extension.isEmpty())
                return Wrong(QStringLiteral("[%1] has no extension").arg(p.name));
        return {};
    }

private:
    Profile& Current() { return (*profiles_)[std::size_t(current_)]; }

    EngineError Wrong(const QString& why) const {
        return {EngineError::Code::ProfileMalformed,
                QStringLiteral("line %1: %2").arg(number_).arg(why),
                origin_.isEmpty() ? QStringLiteral("devices.profiles") : origin_};
    }

    EngineError Begin(const QString& name) {
        if (const EngineError ended = End(); ended.Failed())
            return ended;
        static const QRegularExpression form(QStringLiteral("^[a-z0-9][a-z0-9_-]*$"));
        if (!form.match(name).hasMatch())
            return Wrong(QStringLiteral("a profile's name is made of small letters, digits, - "
                                        "and _: '%1'")
                             .arg(name));
        if (!names_.insert(name).second)
            return Wrong(QStringLiteral("[%1] is named twice").arg(name));
        Profile p;
        p.name = name;
        p.origin = origin_;
        profiles_->push_back(p);
        current_ = int(profiles_->size()) - 1;
        begun_ = number_;
        keys_.clear();
        return {};
    }

    EngineError Value(Profile& p, const QString& key, const QString& value) {
        // folder.32x, extension.pico: one machine's own.
        const qsizetype dot = key.indexOf(QLatin1Char('.'));
        const QString base = dot < 0 ? key : key.left(dot);
        if (dot >= 0) {
            if (base != QLatin1String("folder") && base != QLatin1String("extension"))
                return Wrong(QStringLiteral("unknown key '%1'").arg(key));
            ForMachine* m = MachineNamed(p, key.mid(dot + 1));
            if (!m)
                return Wrong(QStringLiteral("unknown machine '%1' (megadrive, 32x, pico)")
                                 .arg(key.mid(dot + 1)));
            return Place(base, value, {m});
        }
        if (key == QLatin1String("describe")) {
            p.describe = value;
        } else if (key == QLatin1String("machines")) {
            const QStringList words = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (words.isEmpty())
                return Wrong(QStringLiteral("no machine named"));
            for (const QString& word : words) {
                ForMachine* m = MachineNamed(p, word);
                if (!m)
                    return Wrong(
                        QStringLiteral("unknown machine '%1' (megadrive, 32x, pico)").arg(word));
                m->runs = true;
            }
        } else if (key == QLatin1String("folder") || key == QLatin1String("extension")) {
            // The profile's own, for every machine not given one of its own.
            std::vector<ForMachine*> all;
            for (ForMachine* m : {&p.megaDrive, &p.mega32x, &p.pico})
                if (!keys_.count(key + QLatin1Char('.') + MachineWord(p, m)))
                    all.push_back(m);
            return Place(key, value, all);
        } else if (key == QLatin1String("region-extensions")) {
            p.regionExtensions.clear();
            for (const QString& pair : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QString region = RegionNamed(pair.section(QLatin1Char('='), 0, 0));
                const QString extension = pair.section(QLatin1Char('='), 1);
                if (region.isEmpty() || !pair.contains(QLatin1Char('=')))
                    return Wrong(QStringLiteral("'%1' is not REGION=EXTENSION (japan, americas, "
                                                "europe, asia)")
                                     .arg(pair));
                if (!IsExtension(extension))
                    return Wrong(QStringLiteral("'%1' is not an extension (a dot and up to 8 "
                                                "letters or digits)")
                                     .arg(extension));
                p.regionExtensions.emplace_back(region, extension);
            }
        } else if (key == QLatin1String("replace")) {
            p.replace = value;
        } else if (key == QLatin1String("zip")) {
            if (value != QLatin1String("yes") && value != QLatin1String("no"))
                return Wrong(QStringLiteral("zip is yes or no, not '%1'").arg(value));
            p.zip = value == QLatin1String("yes");
        } else if (key == QLatin1String("files-per-folder")) {
            bool number = false;
            const int files = value.toInt(&number);
            if (!number || files < 0)
                return Wrong(
                    QStringLiteral("files-per-folder is a count (0 for no limit), not '%1'")
                        .arg(value));
            p.filesPerFolder = files;
        } else {
            return Wrong(QStringLiteral("unknown key '%1'").arg(key));
        }
        return {};
    }

    static QString MachineWord(const Profile& p, const ForMachine* m) {
        return m == &p.mega32x ? QStringLiteral("32x")
               : m == &p.pico  ? QStringLiteral("pico")
                               : QStringLiteral("megadrive");
    }

    EngineError Place(const QString& what, const QString& value,
                      const std::vector<ForMachine*>& machines) {
        if (what == QLatin1String("folder")) {
            if (!IsFolder(value))
                return Wrong(QStringLiteral("'%1' is not a folder under the export's: a "
                                            "relative path of names, '/' between them")
                                 .arg(value));
            for (ForMachine* m : machines)
                m->folder = value;
        } else {
            if (!IsExtension(value))
                return Wrong(QStringLiteral("'%1' is not an extension (a dot and up to 8 letters "
                                            "or digits)")
                                 .arg(value));
            for (ForMachine* m : machines)
                m->extension = value;
        }
        return {};
    }

    const QString origin_;
    std::vector<Profile>* profiles_;
    int current_ = -1;
    int number_ = 0;
    int begun_ = 0;
    std::set<QString> keys_;
    std::set<QString> names_;
};

} // namespace

EngineError Parse(const QByteArray& text, const QString& origin, std::vector<Profile>* profiles) {
    std::vector<Profile> read;
    Reader reader(origin, &read);
    const QString all = QString::fromUtf8(text);
    const QStringList lines = all.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (const EngineError wrong = reader.Line(i + 1, line); wrong.Failed())
            return wrong;
    }
    if (const EngineError wrong = reader.End(); wrong.Failed())
        return wrong;
    for (Profile& p : read)
        profiles->push_back(std::move(p));
    return {};
}

const std::vector<Profile>& BuiltIn() {
    static const std::vector<Profile> profiles = [] {
        std::vector<Profile> read;
        QFile file(QStringLiteral(":/kestrix/devices.profiles"));
        if (file.open(QIODevice::ReadOnly))
            Parse(file.readAll(), QString(), &read);
        return read;
    }();
    return profiles;
}

QString UserFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrix/devices.profiles");
}

namespace {

// A profile read later takes the place of one of its name.
void Add(std::vector<Profile>&& read, std::vector<Profile>* profiles) {
    for (Profile& p : read) {
        auto same = std::find_if(profiles->begin(), profiles->end(),
                                 [&](const Profile& q) { return q.name == p.name; });
        if (same != profiles->end())
            *same = std::move(p);
        else
            profiles->push_back(std::move(p));
    }
}

EngineError ReadFile(const QString& path, bool mayBeMissing, std::vector<Profile>* profiles) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (mayBeMissing && !file.exists())
            return {};
        return {EngineError::Code::ProfilesUnreadable, file.errorString(), path};
    }
    // A profiles file is a few lines; anything large is not one.
    const QByteArray text = file.read(1 << 20);
    if (file.error() != QFile::NoError)
        return {EngineError::Code::ProfilesUnreadable, file.errorString(), path};
    std::vector<Profile> read;
    if (const EngineError wrong = Parse(text, path, &read); wrong.Failed())
        return wrong;
    Add(std::move(read), profiles);
    return {};
}

} // namespace

EngineError LoadAll(const QStringList& files, std::vector<Profile>* profiles) {
    *profiles = BuiltIn();
    if (const EngineError read = ReadFile(UserFile(), true, profiles); read.Failed())
        return read;
    for (const QString& path : files)
        if (const EngineError read = ReadFile(path, false, profiles); read.Failed())
            return read;
    return {};
}

const Profile* Find(const std::vector<Profile>& profiles, const QString& name) {
    for (const Profile& p : profiles)
        if (p.name == name)
            return &p;
    return nullptr;
}

} // namespace DeviceProfile
