#include "DatFile.h"

#include "SafeFile.h"

#include <QXmlStreamReader>

namespace DatFile {

namespace {

QString CrcKey(const QString& crc32, std::int64_t size) {
    return crc32 + QLatin1Char(':') + QString::number(size);
}

} // namespace

EngineError Index::Load(const QString& path) {
    using Code = EngineError::Code;
    const SafeFile::Source source(path);
    if (!source.IsOpen())
        return {Code::DatUnreadable, SafeFile::Describe(source.Error()), path};
    if (source.Size() > (std::int64_t(256) << 20))
        return {Code::DatTooLarge, QString(), path};
    QByteArray bytes(source.Size(), Qt::Uninitialized);
    if (!source.ReadAt(0, bytes.data(), bytes.size()))
        return {Code::DatUnreadable, QStringLiteral("the file cannot be read"), path};

    QXmlStreamReader xml(bytes);
    QString game;
    bool sawDatafile = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView element = xml.name();
            if (element == u"datafile")
                sawDatafile = true;
            else if (element == u"game" || element == u"machine")
                game = xml.attributes().value(QLatin1String("name")).toString();
            else if (element == u"rom") {
                const QXmlStreamAttributes a = xml.attributes();
                Rom rom;
                rom.game = game;
                rom.name = a.value(QLatin1String("name")).toString();
                bool ok = false;
                rom.size = a.value(QLatin1String("size")).toLongLong(&ok);
                if (!ok)
                    rom.size = -1;
                rom.crc32 = a.value(QLatin1String("crc")).toString().toLower();
                rom.md5 = a.value(QLatin1String("md5")).toString().toLower();
                rom.sha1 = a.value(QLatin1String("sha1")).toString().toLower();
                if (!rom.sha1.isEmpty())
                    bySha1_.insert(rom.sha1, rom);
                else if (!rom.crc32.isEmpty() && rom.size >= 0)
                    byCrc_.insert(CrcKey(rom.crc32, rom.size), rom);
            }
        } else if (xml.isEndElement() && (xml.name() == u"game" || xml.name() == u"machine")) {
            game.clear();
        }
    }
    if (xml.hasError())
        return {Code::DatMalformed,
                QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()), path};
    if (!sawDatafile)
        return {Code::NotADat, QString(), path};
    return {};
}

const Rom* Index::Match(const RomInspector::Report& report) const {
    if (!report.Inspected() || report.sha1.isEmpty())
        return nullptr;
    if (const auto found = bySha1_.constFind(report.sha1); found != bySha1_.cend())
        return &found.value();
    const auto found = byCrc_.constFind(CrcKey(report.crc32, report.plainSize));
    return found == byCrc_.cend() ? nullptr : &found.value();
}

} // namespace DatFile
