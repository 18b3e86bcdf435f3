#include "RomReport.h"

#include <QJsonArray>

namespace RomReport {

namespace {

using RomInspector::Dump;
using RomInspector::Hex;

QString Bytes(std::int64_t n) {
    return n == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(n);
}

QString Range(std::uint32_t start, std::uint32_t end) {
    return Hex(start, 8) + QLatin1Char('-') + Hex(end, 8);
}

bool Known(const RomInspector::Report& r) {
    return r.layout != RomLayout::Unknown && !r.header.system.isEmpty();
}

QString DumpText(const RomInspector::Report& r) {
    QString text = RomInspector::DumpName(r.dump);
    const std::int64_t declared = std::int64_t(r.header.romEnd) + 1;
    switch (r.dump) {
    case Dump::Complete:
        break;
    case Dump::Padded:
        text += QStringLiteral(": the header's ROM ends at %1, the %2 after it are one "
                               "repeated byte")
                    .arg(Hex(r.header.romEnd, 8), Bytes(r.plainSize - declared));
        break;
    case Dump::Mirrored:
        text += QStringLiteral(": the first %1 (to the header's ROM end %2), repeated")
                    .arg(Bytes(declared), Hex(r.header.romEnd, 8));
        break;
    case Dump::Truncated:
        text += Known(r) ? QStringLiteral(": %1 short of the header's ROM end %2")
                               .arg(Bytes(declared - r.plainSize), Hex(r.header.romEnd, 8))
                         : QStringLiteral(": the size breaks the layout's rule");
        break;
    case Dump::Unknown:
        break;
    }
    if (r.declaredRange)
        text += QStringLiteral("; checksum over the declared range %1: %2")
                    .arg(Hex(r.declaredChecksum), r.DeclaredRangeOk() ? "ok" : "MISMATCH");
    return text;
}

} // namespace

std::vector<Line> Lines(const RomInspector::Report& r, const Dat& dat) {
    std::vector<Line> lines;
    if (!r.Inspected())
        return lines;
    const RomInspector::Header& h = r.header;
    auto add = [&lines](const char* label, const QString& value) {
        if (!value.isEmpty())
            lines.push_back({QString::fromLatin1(label), value});
    };
    add("size", Bytes(r.size));
    if (r.plainSize != r.size)
        add("plain size", Bytes(r.plainSize));
    add("layout",
        r.layout == RomLayout::Unknown && r.seen != RomLayout::Unknown
            ? QStringLiteral("unknown (the content looks like %1)").arg(LayoutPhrase(r.seen))
            : QStringLiteral("%1 (%2)").arg(LayoutName(r.layout),
                                            RomInspector::CertaintyName(r.certainty)));
    for (qsizetype i = 0; i < r.reasons.size(); ++i)
        add(i == 0 ? "reasons" : "", r.reasons.at(i));
    if (r.smdBlocksDeclared >= 0)
        add("smd blocks", QStringLiteral("%1 in the copier header, %2 in the file")
                              .arg(r.smdBlocksDeclared)
                              .arg(r.smdBlocks));
    if (r.dump != Dump::Unknown)
        add("dump", DumpText(r));
    if (Known(r)) {
        add("system", h.system);
        add("copyright", h.copyright);
        add("domestic", h.titleDomestic);
        add("overseas", h.titleOverseas);
        add("serial", h.serial);
        add("devices", h.devices);
        add("rom", Range(h.romStart, h.romEnd));
        if (h.ram)
            add("ram", Range(h.ramStart, h.ramEnd) + QStringLiteral(", ") + h.ramKind);
        add("region", h.regions.isEmpty() ? h.region
                                          : QStringLiteral("%1 (%2)").arg(
                                                h.region, h.regions.join(QStringLiteral(", "))));
        add("checksum", QStringLiteral("%1 stored, %2 computed: %3")
                            .arg(Hex(h.storedChecksum), Hex(h.computedChecksum),
                                 r.ChecksumOk() ? "ok" : "MISMATCH"));
    }
    add("crc32", r.crc32);
    add("md5", r.md5);
    add("sha1", r.sha1);
    if (dat.asked) {
        add("dat game", dat.match ? dat.match->game : QStringLiteral("no match in the DAT files"));
        if (dat.match)
            add("dat rom", dat.match->name);
    }
    return lines;
}

QJsonObject Json(const RomInspector::Report& r, const QString& name, const Dat& dat) {
    const RomInspector::Header& h = r.header;
    const bool known = Known(r);
    const QJsonValue none(QJsonValue::Null);
    QJsonObject o;
    o["file"] = name;
    o["size"] = double(r.size);
    o["layout"] = LayoutName(r.layout);
    o["certainty"] = RomInspector::CertaintyName(r.certainty);
    o["reasons"] = QJsonArray::fromStringList(r.reasons);
    o["system"] = h.system;
    o["title_domestic"] = h.titleDomestic;
    o["title_overseas"] = h.titleOverseas;
    o["serial"] = h.serial;
    o["region"] = h.region;
    o["checksum_stored"] = h.storedChecksum;
    o["checksum_computed"] = h.computedChecksum;
    o["checksum_ok"] = r.Inspected() && known && r.ChecksumOk();
    o["crc32"] = r.crc32;
    o["md5"] = r.md5;
    o["sha1"] = r.sha1;
    o["copyright"] = known ? QJsonValue(h.copyright) : none;
    o["devices"] = known ? QJsonValue(h.devices) : none;
    o["rom_start"] = known ? QJsonValue(double(h.romStart)) : none;
    o["rom_end"] = known ? QJsonValue(double(h.romEnd)) : none;
    o["ram_start"] = known && h.ram ? QJsonValue(double(h.ramStart)) : none;
    o["ram_end"] = known && h.ram ? QJsonValue(double(h.ramEnd)) : none;
    o["regions"] = known ? QJsonValue(QJsonArray::fromStringList(h.regions)) : none;
    o["plain_size"] = r.Inspected() ? QJsonValue(double(r.plainSize)) : none;
    o["dump"] = r.Inspected() ? QJsonValue(RomInspector::DumpName(r.dump)) : none;
    o["checksum_declared_range_ok"] = r.declaredRange ? QJsonValue(r.DeclaredRangeOk()) : none;
    if (dat.asked) {
        o["dat_game"] = dat.match ? QJsonValue(dat.match->game) : none;
        o["dat_rom"] = dat.match ? QJsonValue(dat.match->name) : none;
    }
    if (!r.Inspected())
        o["error"] = r.error;
    return o;
}

} // namespace RomReport
