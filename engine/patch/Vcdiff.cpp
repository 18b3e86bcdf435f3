#include "Vcdiff.h"

#include "PatchCursor.h"

#include <lzma.h>
#include <zlib.h>

#include <array>
#include <cstring>

namespace Vcdiff {

namespace {

using Code = EngineError::Code;
constexpr std::int64_t Largest = Cartridge::MaxImageSize;

using Reader = Patch::Cursor;

enum Type : std::uint8_t { Noop, Add, Run, Copy };
struct Half {
    std::uint8_t type = Noop, size = 0, mode = 0;
};
struct Instruction {
    Half one, two;
};

// RFC 3284's default code table (its section 5.6), made as it describes.
std::array<Instruction, 256> DefaultTable() {
    std::array<Instruction, 256> t{};
    int i = 0;
    t[std::size_t(i++)].one = {Run, 0, 0};
    for (int size = 0; size <= 17; ++size)
        t[std::size_t(i++)].one = {Add, std::uint8_t(size), 0};
    for (int mode = 0; mode <= 8; ++mode) {
        t[std::size_t(i++)].one = {Copy, 0, std::uint8_t(mode)};
        for (int size = 4; size <= 18; ++size)
            t[std::size_t(i++)].one = {Copy, std::uint8_t(size), std::uint8_t(mode)};
    }
    for (int mode = 0; mode <= 5; ++mode)
        for (int add = 1; add <= 4; ++add)
            for (int copy = 4; copy <= 6; ++copy)
                t[std::size_t(i++)] = {{Add, std::uint8_t(add), 0},
                                       {Copy, std::uint8_t(copy), std::uint8_t(mode)}};
    for (int mode = 6; mode <= 8; ++mode)
        for (int add = 1; add <= 4; ++add)
            t[std::size_t(i++)] = {{Add, std::uint8_t(add), 0}, {Copy, 4, std::uint8_t(mode)}};
    for (int mode = 0; mode <= 8; ++mode)
        t[std::size_t(i++)] = {{Copy, 4, std::uint8_t(mode)}, {Add, 1, 0}};
    return t;
}

const std::array<Instruction, 256>& Table() {
    static const std::array<Instruction, 256> table = DefaultTable();
    return table;
}

QString SecondaryName(int id) {
    switch (id) {
    case Djw:
        return QStringLiteral("DJW");
    case Fgk:
        return QStringLiteral("FGK");
    default:
        return QStringLiteral("number %1").arg(id);
    }
}

// The header: its secondary compressor (None without one), and where the
// windows start.
QString ReadHeader(Reader& in, int* secondary) {
    const std::uint8_t* magic = in.Take(4);
    if (!magic || std::memcmp(magic, Magic, 3) != 0)
        return QStringLiteral("it is not a VCDIFF patch");
    if (magic[3] != 0)
        return QStringLiteral("it is a VCDIFF of version %1, not 0").arg(magic[3]);
    std::uint8_t indicator = 0;
    if (!in.Byte(&indicator))
        return QStringLiteral("it is cut short in its header");
    if (indicator & ~0x07)
        return QStringLiteral("its header has flags VCDIFF does not define");
    *secondary = None;
    if (indicator & 0x01) {
        std::uint8_t id = 0;
        if (!in.Byte(&id))
            return QStringLiteral("it is cut short in its header");
        if (id != Lzma)
            return QStringLiteral("its sections are compressed with %1, which Kestrix does not "
                                  "read; make it again with xdelta3 -S none or -S lzma")
                .arg(SecondaryName(id));
        *secondary = id;
    }
    if (indicator & 0x02)
        return QStringLiteral("it brings a code table of its own, which Kestrix does not read");
    if (indicator & 0x04) { // xdelta3's application header: the files' names
        std::int64_t length = 0;
        if (!in.Size(&length) || !in.Take(length))
            return QStringLiteral("it is cut short in its header");
    }
    return QString();
}

// A window's fields, its sections in place.
struct Window {
    std::int64_t at = 0; // where it starts in the patch
    std::uint8_t indicator = 0;
    std::int64_t segmentLength = 0;
    std::int64_t segmentAt = 0;
    std::int64_t targetLength = 0;
    std::uint8_t compressed = 0; // which sections: 1 data, 2 instructions, 4 addresses
    bool adler = false;
    std::uint32_t adler32 = 0;
    const std::uint8_t* section[3] = {};
    std::int64_t length[3] = {};
};

QString ReadWindow(Reader& in, int secondary, std::int64_t targetSoFar, Window* w) {
    w->at = in.At();
    auto fault = [w](const char* what) {
        return QStringLiteral("the window at byte %1 %2").arg(w->at).arg(QLatin1String(what));
    };
    in.Byte(&w->indicator);
    if ((w->indicator & ~0x07) || (w->indicator & 0x03) == 0x03)
        return fault("has flags VCDIFF does not define");
    if (w->indicator & 0x03) {
        if (!in.Size(&w->segmentLength) || !in.Size(&w->segmentAt))
            return fault("is cut short");
        if (w->segmentLength > Largest || w->segmentAt > Largest)
            return fault("copies from past the largest image");
        if ((w->indicator & 0x02) && w->segmentAt + w->segmentLength > targetSoFar)
            return fault("copies from past the target made so far");
    }
    std::int64_t delta = 0;
    if (!in.Size(&delta))
        return fault("is cut short");
    const std::int64_t start = in.At();
    if (!in.Size(&w->targetLength) || !in.Byte(&w->compressed))
        return fault("is cut short");
    if (w->targetLength > Largest - targetSoFar)
        return fault("makes a target larger than the largest image");
    if (w->compressed & ~0x07)
        return fault("has flags VCDIFF does not define");
    if (w->compressed && secondary == None)
        return fault("says its sections are compressed, but the patch names no compressor");
    for (std::int64_t& length : w->length)
        if (!in.Size(&length))
            return fault("is cut short");
    w->adler = w->indicator & 0x04;
    if (w->adler) {
        const std::uint8_t* a = in.Take(4);
        if (!a)
            return fault("is cut short");
        w->adler32 =
            std::uint32_t(a[0]) << 24 | std::uint32_t(a[1]) << 16 | std::uint32_t(a[2]) << 8 | a[3];
    }
    for (int s = 0; s < 3; ++s)
        if (!(w->section[s] = in.Take(w->length[s])))
            return fault("is cut short");
    if (in.At() - start != delta)
        return fault("is not as long as it says");
    return QString();
}

// xdelta3's LZMA: one xz stream for each kind of section, begun in the first
// window that compresses one and carried on in the next, each window's part
// flushed and ended there (without the stream's footer).
class Streams {
public:
    Streams() = default;
    Streams(const Streams&) = delete;
    Streams& operator=(const Streams&) = delete;
    ~Streams() {
        for (int s = 0; s < 3; ++s)
            if (begun_[s])
                lzma_end(&z_[s]);
    }
    lzma_stream& Of(int s) {
        if (!begun_[s]) {
            z_[s] = LZMA_STREAM_INIT;
            if (lzma_stream_decoder(&z_[s], std::uint64_t(256) << 20, 0) != LZMA_OK)
                throw std::bad_alloc();
            begun_[s] = true;
        }
        return z_[s];
    }

private:
    lzma_stream z_[3] = {};
    bool begun_[3] = {};
};

// A section as it is, or decompressed: a number (its size once
// decompressed), then the next part of its kind's stream, which must make
// exactly that many bytes, no more than most.
QString Section(const Window& w, int s, std::int64_t most, Streams& streams,
                std::vector<std::uint8_t>* out, Reader* read) {
    if (!(w.compressed & (1 << s))) {
        *read = Reader(w.section[s], w.length[s]);
        return QString();
    }
    Reader in(w.section[s], w.length[s]);
    std::int64_t size = 0;
    if (!in.Size(&size))
        return QStringLiteral("a compressed section of the window at byte %1 is cut short")
            .arg(w.at);
    if (size > most)
        return QStringLiteral("a compressed section of the window at byte %1 says it holds %2 "
                              "bytes, more than the window can use")
            .arg(w.at)
            .arg(size);
    // One byte more than it says: a stream that makes it says less than it
    // holds, and is cut off there.
    out->resize(std::size_t(size) + 1);
    lzma_stream& z = streams.Of(s);
    z.next_in = w.section[s] + in.At();
    z.avail_in = std::size_t(in.Left());
    z.next_out = out->data();
    z.avail_out = out->size();
    const std::uint64_t start = z.total_out;
    lzma_ret ret = LZMA_OK;
    for (std::uint64_t before = ~std::uint64_t(0); ret == LZMA_OK && z.avail_out > 0;) {
        const std::uint64_t now = z.total_in + z.total_out;
        if (now == before)
            break;
        before = now;
        ret = lzma_code(&z, LZMA_RUN);
    }
    if (ret == LZMA_MEM_ERROR || ret == LZMA_MEMLIMIT_ERROR)
        throw std::bad_alloc();
    // LZMA_BUF_ERROR: no progress once the part is read, as a flushed part
    // ends.
    const bool whole = (ret == LZMA_OK || ret == LZMA_BUF_ERROR) && z.avail_in == 0 &&
                       z.total_out - start == std::uint64_t(size);
    out->resize(std::size_t(size));
    if (!whole)
        return QStringLiteral("a compressed section of the window at byte %1 is damaged, or "
                              "holds other than the %2 bytes it says")
            .arg(w.at)
            .arg(size);
    *read = Reader(out->data(), size);
    return QString();
}

// The addresses of COPY instructions, as RFC 3284's cache keeps them.
class Addresses {
public:
    explicit Addresses(Reader& in) : in_(in) {}
    bool Next(int mode, std::int64_t here, std::int64_t* address) {
        std::int64_t a = 0, n = 0;
        if (mode == 0) {
            if (!in_.Size(&a))
                return false;
        } else if (mode == 1) {
            if (!in_.Size(&n))
                return false;
            a = here - n;
        } else if (mode < 2 + Near) {
            if (!in_.Size(&n))
                return false;
            a = near_[std::size_t(mode - 2)] + n;
        } else {
            std::uint8_t b = 0;
            if (!in_.Byte(&b))
                return false;
            a = same_[std::size_t((mode - 2 - Near) * 256 + b)];
        }
        if (a < 0 || a >= here)
            return false;
        near_[std::size_t(next_)] = a;
        next_ = (next_ + 1) % Near;
        same_[std::size_t(a % (Same * 256))] = a;
        return *address = a, true;
    }

private:
    static constexpr int Near = 4, Same = 3;
    Reader& in_;
    std::array<std::int64_t, Near> near_{};
    std::array<std::int64_t, Same * 256> same_{};
    int next_ = 0;
};

// Carries out a window's instructions into out (targetLength bytes), its
// copies reading the segment first, then the window itself.
QString Decode(const Window& w, int secondary, Streams& streams, const std::uint8_t* segment,
               std::uint8_t* out) {
    if (secondary != None && secondary != Lzma)
        return QStringLiteral("its compressor is not read");
    const std::int64_t most = 16 * w.targetLength + 4096;
    std::vector<std::uint8_t> bytes[3];
    Reader data(nullptr, 0), inst(nullptr, 0), addr(nullptr, 0);
    Reader* readers[3] = {&data, &inst, &addr};
    for (int s = 0; s < 3; ++s)
        if (const QString fault =
                Section(w, s, s == 0 ? w.targetLength : most, streams, &bytes[s], readers[s]);
            !fault.isEmpty())
            return fault;
    const QString broken =
        QStringLiteral("the window at byte %1 breaks its own instructions").arg(w.at);
    Addresses addresses(addr);
    const std::int64_t segment_length = w.segmentLength;
    std::int64_t here = 0;
    std::uint8_t code = 0;
    while (inst.Byte(&code)) {
        const Instruction& i = Table()[code];
        for (const Half& h : {i.one, i.two}) {
            if (h.type == Noop)
                continue;
            std::int64_t size = h.size;
            if (size == 0 && !inst.Size(&size))
                return broken;
            if (size > w.targetLength - here)
                return broken;
            if (h.type == Add) {
                const std::uint8_t* from = data.Take(size);
                if (!from)
                    return broken;
                std::memcpy(out + here, from, std::size_t(size));
            } else if (h.type == Run) {
                std::uint8_t b = 0;
                if (!data.Byte(&b))
                    return broken;
                std::memset(out + here, b, std::size_t(size));
            } else {
                std::int64_t a = 0;
                if (!addresses.Next(h.mode, segment_length + here, &a))
                    return broken;
                // A copy may overlap what it writes: byte by byte.
                for (std::int64_t k = 0; k < size; ++k, ++a)
                    out[here + k] = a < segment_length ? segment[a] : out[a - segment_length];
            }
            here += size;
        }
    }
    if (here != w.targetLength || data.Left() != 0 || addr.Left() != 0)
        return broken;
    return QString();
}

// Walks the windows; with a source, makes the target of them.
struct Making {
    const RomInspector::ReadAt* read = nullptr;
    std::int64_t size = 0;
    std::vector<std::uint8_t>* target = nullptr;
    bool readFailed = false;
    bool adlerDiffers = false;
};

QString Walk(const QByteArray& patch, Patch::Description* d, Making* make) {
    Reader in(reinterpret_cast<const std::uint8_t*>(patch.constData()), patch.size());
    int secondary = None;
    if (const QString fault = ReadHeader(in, &secondary); !fault.isEmpty())
        return fault;
    d->sourceSize = 0;
    d->targetSize = 0;
    bool everyWindowChecked = true;
    std::vector<std::uint8_t> segment;
    Streams streams;
    while (in.Left() > 0) {
        Window w;
        if (const QString fault = ReadWindow(in, secondary, d->targetSize, &w); !fault.isEmpty())
            return fault;
        if (w.indicator & 0x01)
            d->sourceSize = std::max(d->sourceSize, w.segmentAt + w.segmentLength);
        everyWindowChecked = everyWindowChecked && w.adler;
        ++d->records;
        d->changed += w.length[0];
        if (make) {
            const std::int64_t start = d->targetSize;
            make->target->resize(std::size_t(start + w.targetLength));
            const std::uint8_t* from = nullptr;
            if (w.indicator & 0x01) {
                if (w.segmentAt + w.segmentLength > make->size)
                    return QStringLiteral("the window at byte %1 copies from past the source's "
                                          "%2 bytes")
                        .arg(w.at)
                        .arg(make->size);
                segment.resize(std::size_t(w.segmentLength));
                if (!(*make->read)(w.segmentAt, segment.data(), w.segmentLength))
                    return make->readFailed = true, QString();
                from = segment.data();
            } else if (w.indicator & 0x02) {
                // The target so far is copied: the window is written into the
                // same vector.
                segment.assign(make->target->begin() + w.segmentAt,
                               make->target->begin() + w.segmentAt + w.segmentLength);
                from = segment.data();
            }
            std::uint8_t* out = make->target->data() + start;
            if (const QString fault = Decode(w, secondary, streams, from, out); !fault.isEmpty())
                return fault;
            if (w.adler && std::uint32_t(adler32_z(adler32_z(0, nullptr, 0), out,
                                                   std::size_t(w.targetLength))) != w.adler32)
                make->adlerDiffers = true;
        }
        d->targetSize += w.targetLength;
    }
    if (d->records == 0)
        return QStringLiteral("it holds no window");
    d->windowChecksums = everyWindowChecked;
    d->secondary = secondary == Lzma ? QStringLiteral("LZMA") : QString();
    return QString();
}

} // namespace

QString Describe(const QByteArray& patch, Patch::Description* d) {
    return Walk(patch, d, nullptr);
}

EngineError Apply(const QByteArray& patch, const RomInspector::ReadAt& read, std::int64_t size,
                  std::vector<std::uint8_t>* target) {
    Patch::Description d;
    Making make{&read, size, target};
    target->clear();
    if (const QString fault = Walk(patch, &d, &make); !fault.isEmpty()) {
        target->clear();
        return {Code::PatchDoesNotFit, fault};
    }
    if (make.readFailed) {
        target->clear();
        return Code::ReadFailed;
    }
    if (make.adlerDiffers)
        return {Code::TargetDiffers,
                QStringLiteral("the patched image is not the one the patch's checksums describe")};
    return {};
}

} // namespace Vcdiff
