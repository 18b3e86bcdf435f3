#include "HeaderFields.h"

#include "Cartridge.h"
#include "PlainStream.h"

#include <algorithm>

namespace RomInspector {

namespace {

using Cartridge::BlockSize;
using Cartridge::ChecksumAt;
using Cartridge::HeaderEnd;
using Cartridge::HeaderStart;
using Cartridge::RomEndAt;
using Cartridge::RomStartAt;

QString Text(const std::vector<std::uint8_t>& head, std::size_t at, std::size_t length) {
    QString text;
    for (std::size_t i = at; i < at + length && i < head.size(); ++i) {
        const std::uint8_t c = head[i];
        text += c >= 0x20 && c < 0x7F ? QChar(c) : QChar('?');
    }
    return text.trimmed();
}

QStringList Regions(const QString& field) {
    QStringList names;
    const QString code = field.trimmed();
    const bool letters = code.size() > 1 || code == QLatin1String("J") ||
                         code == QLatin1String("U") || code == QLatin1String("E");
    if (letters) {
        const struct {
            QChar letter;
            const char* name;
        } old[] = {{'J', "Japan"}, {'U', "Americas"}, {'E', "Europe"}, {'A', "Asia"}};
        for (const auto& o : old)
            if (code.contains(o.letter))
                names << QString::fromLatin1(o.name);
        return names;
    }
    bool ok = false;
    const int bits = code.toInt(&ok, 16);
    if (!ok)
        return names;
    const char* const byBit[] = {"Japan", "Asia", "Americas", "Europe"};
    for (int bit = 0; bit < 4; ++bit)
        if (bits & (1 << bit))
            names << QString::fromLatin1(byBit[bit]);
    return names;
}

} // namespace

// The first bytes of the plain image in a layout (fewer when it is shorter).
std::vector<std::uint8_t> PlainHead(const ReadAt& read, std::int64_t size, RomLayout layout) {
    PlainStream stream(read, size, layout);
    const std::int64_t bytes = std::min(HeaderEnd, stream.PlainSize()) & ~std::int64_t(1);
    std::vector<std::uint8_t> head(std::size_t(std::max<std::int64_t>(bytes, 0)));
    if (layout == RomLayout::Smd || layout == RomLayout::Md) {
        // One whole block (SMD) or the first bytes of both halves (MD).
        std::vector<std::uint8_t> piece(std::size_t(std::min(BlockSize, stream.PlainSize())));
        if (!stream.Get(0, piece.data(), std::int64_t(piece.size())))
            return {};
        std::copy_n(piece.begin(), head.size(), head.begin());
        return head;
    }
    if (!stream.Get(0, head.data(), std::int64_t(head.size())))
        return {};
    return head;
}

bool HasSega(const std::vector<std::uint8_t>& head) {
    // In the system name's 16 bytes.
    constexpr std::int64_t End = HeaderStart + 16;
    if (std::int64_t(head.size()) < End)
        return false;
    return std::search(head.begin() + HeaderStart, head.begin() + End, "SEGA", "SEGA" + 4) !=
           head.begin() + End;
}

std::uint32_t Big32(const std::vector<std::uint8_t>& head, std::size_t at) {
    if (at + 4 > head.size())
        return 0;
    return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 |
           std::uint32_t(head[at + 2]) << 8 | head[at + 3];
}

std::uint16_t Big16(const std::vector<std::uint8_t>& head, std::size_t at) {
    return at + 2 > head.size() ? 0 : std::uint16_t(head[at] << 8 | head[at + 1]);
}

// The regions of a header's region field: the old letters J, U and E, or a
// new-style hex digit whose bits are Japan, Asia, Americas and Europe.
Header ReadHeader(const std::vector<std::uint8_t>& head) {
    Header header;
    header.system = Text(head, HeaderStart, 16);
    header.copyright = Text(head, 0x110, 16);
    header.titleDomestic = Text(head, 0x120, 48);
    header.titleOverseas = Text(head, 0x150, 48);
    header.serial = Text(head, 0x180, 14);
    header.storedChecksum = Big16(head, ChecksumAt);
    header.devices = Text(head, 0x190, 16);
    header.romStart = Big32(head, RomStartAt);
    header.romEnd = Big32(head, RomEndAt);
    header.region = Text(head, 0x1F0, 3);
    header.regions = Regions(header.region);
    // Extra memory: "RA", a kind byte, 0x20, then its start and end.
    if (head.size() >= 0x1BC && head[0x1B0] == 'R' && head[0x1B1] == 'A') {
        header.ram = true;
        header.ramStart = Big32(head, 0x1B4);
        header.ramEnd = Big32(head, 0x1B8);
        const std::uint8_t kind = head[0x1B2];
        header.ramKind = QString::fromLatin1((kind & 0x40) ? "battery-backed" : "volatile");
        switch ((kind >> 3) & 3) {
        case 0:
            header.ramKind += QStringLiteral(", 16-bit");
            break;
        case 2:
            header.ramKind += QStringLiteral(", even bytes");
            break;
        case 3:
            header.ramKind += QStringLiteral(", odd bytes");
            break;
        default:
            break;
        }
    }
    // The system field names the machine: "SEGA 32X", "SEGA PICO", "SEGA SSF"
    // (a Mega Drive cartridge with the extended mapper), "SEGA MEGA DRIVE",
    // "SEGA GENESIS".
    const QString system = header.system.toUpper();
    if (system.contains(QLatin1String("32X")))
        header.machine = Machine::Mega32X;
    else if (system.contains(QLatin1String("PICO")))
        header.machine = Machine::Pico;
    else if (system.contains(QLatin1String("SSF")))
        header.machine = Machine::MegaDrive, header.ssf = true;
    else if (system.contains(QLatin1String("MEGA DRIVE")) ||
             system.contains(QLatin1String("MEGADRIVE")) ||
             system.contains(QLatin1String("GENESIS")))
        header.machine = Machine::MegaDrive;
    return header;
}

QString Hex(std::uint32_t value, int digits) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, '0');
}

QString DumpName(Dump dump) {
    switch (dump) {
    case Dump::Complete:
        return QStringLiteral("complete");
    case Dump::Padded:
        return QStringLiteral("padded");
    case Dump::Mirrored:
        return QStringLiteral("mirrored");
    case Dump::Truncated:
        return QStringLiteral("truncated");
    case Dump::Overdump:
        return QStringLiteral("overdump");
    case Dump::Implausible:
        return QStringLiteral("implausible");
    case Dump::LockOn:
        return QStringLiteral("lock-on");
    case Dump::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString MachineName(Machine machine) {
    switch (machine) {
    case Machine::MegaDrive:
        return QStringLiteral("megadrive");
    case Machine::Mega32X:
        return QStringLiteral("32x");
    case Machine::Pico:
        return QStringLiteral("pico");
    case Machine::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString CertaintyName(Certainty certainty) {
    switch (certainty) {
    case Certainty::Certain:
        return QStringLiteral("certain");
    case Certainty::Likely:
        return QStringLiteral("likely");
    case Certainty::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

} // namespace RomInspector
