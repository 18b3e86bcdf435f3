#include "RomReport.h"

#include "SafeFile.h"

#include <QJsonArray>

#include <functional>

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
    case Dump::Overdump:
        text += QStringLiteral(": %1 past the header's ROM end %2, %3")
                    .arg(Bytes(r.plainSize - declared), Hex(r.header.romEnd, 8),
                         r.tailMirrored ? QStringLiteral("repeating the start")
                                        : QStringLiteral("other data"));
        break;
    case Dump::Implausible:
        text += QStringLiteral(": the header's ROM end %1 lies far past any cartridge (a broken "
                               "field, not a short dump)")
                    .arg(Hex(r.header.romEnd, 8));
        break;
    case Dump::LockOn:
        text += QStringLiteral(": a 2 MiB cartridge with a second cartridge of %1 after it; the "
                               "second's checksum %2 stored, %3 computed: %4")
                    .arg(Bytes(r.lockOnSize), Hex(r.lockOnStored), Hex(r.lockOnComputed),
                         r.lockOnStored == r.lockOnComputed ? "ok" : "MISMATCH");
        break;
    case Dump::Unknown:
        break;
    }
    if (r.declaredRange && r.dump == Dump::LockOn)
        text += QStringLiteral("; the first's checksum %1: %2")
                    .arg(Hex(r.declaredChecksum), r.DeclaredRangeOk() ? "ok" : "MISMATCH");
    else if (r.declaredRange)
        text += QStringLiteral("; checksum over the declared range %1: %2")
                    .arg(Hex(r.declaredChecksum), r.DeclaredRangeOk() ? "ok" : "MISMATCH");
    return text;
}

QString MachineWords(const RomInspector::Header& h) {
    using RomInspector::Machine;
    switch (h.machine) {
    case Machine::MegaDrive:
        return h.ssf ? QStringLiteral("Mega Drive / Genesis, with the SSF extended mapper")
                     : QStringLiteral("Mega Drive / Genesis");
    case Machine::Mega32X:
        return QStringLiteral("32X");
    case Machine::Pico:
        return QStringLiteral("Pico");
    case Machine::Unknown:
        break;
    }
    return QStringLiteral("unknown (the system field names no machine Kestrix knows)");
}

} // namespace

namespace {

// The lines of a cartridge header that is known.
void HeaderLines(const RomInspector::Report& r,
                 const std::function<void(const char*, const QString&)>& add) {
    const RomInspector::Header& h = r.header;
    add("system", h.system);
    add("machine", MachineWords(h));
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

} // namespace

std::vector<Line> Lines(const RomInspector::Report& r, const Dat& dat) {
    std::vector<Line> lines;
    if (!r.Inspected())
        return lines;
    auto add = [&lines](const char* label, const QString& value) {
        if (!value.isEmpty())
            lines.push_back({QString::fromLatin1(label), value});
    };
    if (r.size >= 0)
        add("size", Bytes(r.size));
    if (r.plainSize != r.size && r.size >= 0)
        add("plain size", Bytes(r.plainSize));
    add("layout",
        r.disc ? QStringLiteral("none: a disc image, not a cartridge")
        : r.layout == RomLayout::Unknown && r.seen != RomLayout::Unknown
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
    if (r.noHeader) {
        add("header", QStringLiteral("no cartridge header: nothing in the file is read as one"));
        // Without a header, only a DAT can say the dump is whole.
        if (dat.match)
            add("dump", QStringLiteral("complete: it is the DAT's ROM"));
    }
    if (Known(r))
        HeaderLines(r, add);
    add("crc32", r.crc32);
    add("md5", r.md5);
    add("sha1", r.sha1);
    if (dat.asked) {
        add("dat game", !dat.match                  ? QStringLiteral("no match in the DAT files")
                        : dat.match->game.isEmpty() ? QStringLiteral("(a game with no name)")
                                                    : SafeFile::Printable(dat.match->game));
        if (dat.match) {
            add("dat rom", SafeFile::Printable(dat.match->name));
            add("dat match", DatFile::FormName(dat.form));
        }
    }
    return lines;
}

namespace {

// A cartridge header's fields, null where it is not known.
void HeaderJson(QJsonObject& o, const RomInspector::Header& h, bool known) {
    const QJsonValue none(QJsonValue::Null);
    auto text = [&none](bool given, const QString& value) {
        return given ? QJsonValue(value) : none;
    };
    auto number = [&none](bool given, double value) { return given ? QJsonValue(value) : none; };
    o["copyright"] = text(known, h.copyright);
    o["title_domestic"] = text(known, h.titleDomestic);
    o["title_overseas"] = text(known, h.titleOverseas);
    o["serial"] = text(known, h.serial);
    o["devices"] = text(known, h.devices);
    o["region"] = text(known, h.region);
    o["regions"] = known ? QJsonValue(QJsonArray::fromStringList(h.regions)) : none;
    o["rom_start"] = number(known, h.romStart);
    o["rom_end"] = number(known, h.romEnd);
    o["ram_start"] = number(known && h.ram, h.ramStart);
    o["ram_end"] = number(known && h.ram, h.ramEnd);
    o["checksum_stored"] = number(known, h.storedChecksum);
    o["checksum_computed"] = number(known, h.computedChecksum);
}

} // namespace

QJsonObject Json(const RomInspector::Report& r, const QString& name, const Dat& dat) {
    const RomInspector::Header& h = r.header;
    const bool inspected = r.Inspected();
    const bool known = inspected && Known(r);
    const QJsonValue none(QJsonValue::Null);
    auto text = [&none](bool given, const QString& value) {
        return given ? QJsonValue(value) : none;
    };
    auto number = [&none](bool given, double value) { return given ? QJsonValue(value) : none; };
    const bool range = inspected && r.declaredRange;
    const bool smd = inspected && r.smdBlocksDeclared >= 0;
    const QByteArray bytes = SafeFile::EncodeName(r.file);
    QJsonObject o;
    o["file"] = name;
    // The name's bytes when they are not UTF-8 (the file name then holds
    // escapes such as \xE9, which a real name may hold too).
    o["file_bytes_hex"] = text(!SafeFile::IsUtf8(bytes), QString::fromLatin1(bytes.toHex()));
    o["error"] = text(!inspected, r.error.Text());
    o["size"] = number(r.size >= 0, double(r.size));
    o["plain_size"] = number(inspected, double(r.plainSize));
    o["layout"] = text(inspected, LayoutName(r.layout));
    o["certainty"] = text(inspected, RomInspector::CertaintyName(r.certainty));
    o["reasons"] = inspected ? QJsonValue(QJsonArray::fromStringList(r.reasons)) : none;
    o["disc"] = inspected ? QJsonValue(r.disc) : none;
    o["smd_blocks_declared"] = number(smd, r.smdBlocksDeclared);
    o["smd_blocks"] = number(smd, double(r.smdBlocks));
    o["dump"] = text(inspected, r.noHeader && dat.match ? QStringLiteral("complete")
                                                        : RomInspector::DumpName(r.dump));
    o["dump_past_end"] = number(range, double(r.plainSize - (std::int64_t(h.romEnd) + 1)));
    o["overdump_tail_mirrored"] =
        r.dump == Dump::Overdump && inspected ? QJsonValue(r.tailMirrored) : none;
    o["checksum_declared_range"] = number(range, r.declaredChecksum);
    o["checksum_declared_range_ok"] = range ? QJsonValue(r.DeclaredRangeOk()) : none;
    o["system"] = text(known, h.system);
    o["machine"] = text(known, RomInspector::MachineName(h.machine));
    o["ssf_mapper"] = known ? QJsonValue(h.ssf) : none;
    const bool lockOn = inspected && r.dump == Dump::LockOn;
    o["lock_on_size"] = number(lockOn, double(r.lockOnSize));
    o["lock_on_checksum_stored"] = number(lockOn, r.lockOnStored);
    o["lock_on_checksum_computed"] = number(lockOn, r.lockOnComputed);
    o["cartridge_header"] = inspected && !r.disc ? QJsonValue(!r.noHeader) : none;
    HeaderJson(o, h, known);
    o["checksum_ok"] = known ? QJsonValue(r.ChecksumOk()) : none;
    o["crc32"] = text(!r.crc32.isEmpty(), r.crc32);
    o["md5"] = text(!r.md5.isEmpty(), r.md5);
    o["sha1"] = text(!r.sha1.isEmpty(), r.sha1);
    o["dat_game"] = dat.match ? QJsonValue(dat.match->game) : none;
    o["dat_rom"] = dat.match ? QJsonValue(dat.match->name) : none;
    o["dat_match"] = dat.match ? QJsonValue(DatFile::FormName(dat.form)) : none;
    o["kind"] = QStringLiteral("image");
    o["patch"] = none;
    return o;
}

namespace {

QString Crc(std::uint32_t crc) {
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

} // namespace

std::vector<Line> PatchLines(const Patch::Description& d) {
    std::vector<Line> lines;
    auto add = [&lines](const char* label, const QString& value) {
        lines.push_back({QString::fromLatin1(label), value});
    };
    add("kind", Patch::KindName(d.kind) + " patch");
    add("size", QStringLiteral("%1 bytes").arg(d.size));
    if (d.checksums) {
        add("source", QStringLiteral("%1 bytes, CRC32 %2").arg(d.sourceSize).arg(Crc(d.sourceCrc)));
        add("target", QStringLiteral("%1 bytes, CRC32 %2").arg(d.targetSize).arg(Crc(d.targetCrc)));
        add("patch crc", Crc(d.patchCrc) + " (matches)");
    }
    switch (d.kind) {
    case Patch::Kind::Ips:
        add("records", QStringLiteral("%1 (%2 of one repeated byte), %3 bytes written")
                           .arg(d.records)
                           .arg(d.runLength)
                           .arg(d.changed));
        add("reach", QStringLiteral("%1 bytes").arg(d.reach));
        if (d.truncate >= 0)
            add("truncate", QStringLiteral("to %1 bytes").arg(d.truncate));
        break;
    case Patch::Kind::Bps:
        add("actions", QStringLiteral("%1: SourceRead %2, TargetRead %3, SourceCopy %4, "
                                      "TargetCopy %5; %6 bytes from the patch")
                           .arg(d.records)
                           .arg(d.actions[0])
                           .arg(d.actions[1])
                           .arg(d.actions[2])
                           .arg(d.actions[3])
                           .arg(d.changed));
        add("metadata", d.metadata.isEmpty()
                            ? QStringLiteral("none")
                            : SafeFile::Printable(QString::fromUtf8(d.metadata).simplified()));
        break;
    case Patch::Kind::Ups:
        add("runs", QStringLiteral("%1, %2 bytes changed").arg(d.records).arg(d.changed));
        break;
    case Patch::Kind::Vcdiff:
        add("windows", QStringLiteral("%1, %2 bytes of data%3")
                           .arg(d.records)
                           .arg(d.changed)
                           .arg(d.secondary.isEmpty() ? QString()
                                                      : QStringLiteral(" (") + d.secondary +
                                                            QStringLiteral(" compressed)")));
        add("source", QStringLiteral("copies from its first %1 bytes").arg(d.sourceSize));
        add("target", QStringLiteral("%1 bytes").arg(d.targetSize));
        add("checksums", d.windowChecksums ? QStringLiteral("an Adler-32 of each window's target")
                                           : QStringLiteral("none: the base cannot be checked"));
        break;
    }
    return lines;
}

QJsonObject PatchJson(const Patch::Loaded& patch, const QString& name, const EngineError& error) {
    QJsonObject o = Json(RomInspector::Report(), name);
    const QJsonValue none(QJsonValue::Null);
    for (auto key = o.begin(); key != o.end(); ++key)
        if (key.key() != QLatin1String("file") && key.key() != QLatin1String("file_bytes_hex"))
            key.value() = none;
    o["kind"] = QStringLiteral("patch");
    o["size"] = double(patch.bytes.size());
    if (error.Failed()) {
        o["error"] = error.Text();
        return o;
    }
    const Patch::Description& d = patch.description;
    auto number = [&none](bool given, double value) { return given ? QJsonValue(value) : none; };
    auto crc = [&](std::uint32_t value) { return d.checksums ? QJsonValue(Crc(value)) : none; };
    const bool ips = d.kind == Patch::Kind::Ips;
    const bool bps = d.kind == Patch::Kind::Bps;
    QJsonObject p;
    p["format"] = Patch::KindName(d.kind);
    const bool vcdiff = d.kind == Patch::Kind::Vcdiff;
    p["source_size"] = number(!ips, double(d.sourceSize));
    p["target_size"] = number(!ips, double(d.targetSize));
    p["source_crc32"] = crc(d.sourceCrc);
    p["target_crc32"] = crc(d.targetCrc);
    p["patch_crc32"] = crc(d.patchCrc);
    p["records"] = double(d.records);
    p["run_length_records"] = number(ips, double(d.runLength));
    p["bytes_changed"] = number(!bps, double(d.changed));
    p["bytes_from_patch"] = number(bps, double(d.changed));
    p["reach"] = number(ips, double(d.reach));
    p["truncate_size"] = number(ips && d.truncate >= 0, double(d.truncate));
    QJsonObject actions;
    const char* names[] = {"source_read", "target_read", "source_copy", "target_copy"};
    for (int i = 0; i < 4; ++i)
        actions[QLatin1String(names[i])] = double(d.actions[i]);
    p["actions"] = bps ? QJsonValue(actions) : none;
    p["metadata"] = bps ? QJsonValue(QString::fromUtf8(d.metadata)) : none;
    p["window_checksums"] = vcdiff ? QJsonValue(d.windowChecksums) : none;
    p["secondary_compression"] =
        vcdiff ? (d.secondary.isEmpty() ? none : QJsonValue(d.secondary)) : none;
    o["patch"] = p;
    return o;
}

} // namespace RomReport
