#include "Archive.h"

#include "FileFunctions.h"
#include "SafeFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace Archive {

Kind KindOf(const QString& path) {
    return KindOf(SafeFile::Source(path));
}

Kind KindOf(const SafeFile::Source& source) {
    unsigned char head[6] = {};
    if (!source.IsOpen() || source.Size() < 6 || !source.ReadAt(0, head, sizeof head))
        return Kind::None;
    if (head[0] == 'P' && head[1] == 'K' &&
        ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6)))
        return Kind::Zip;
    if (std::memcmp(head, "7z\xBC\xAF\x27\x1C", 6) == 0)
        return Kind::SevenZip;
    if (head[0] == 0x1F && head[1] == 0x8B)
        return Kind::Gzip;
    if (std::memcmp(head,
                    "\xFD"
                    "7zXZ\0",
                    6) == 0)
        return Kind::Xz;
    if (head[0] == 'B' && head[1] == 'Z' && head[2] == 'h' && head[3] >= '1' && head[3] <= '9')
        return Kind::Bzip2;
    if (std::memcmp(head, "\x28\xB5\x2F\xFD", 4) == 0)
        return Kind::Zstd;
    return Kind::None;
}

namespace {

const struct {
    const char* extension;
    Kind kind;
    const char* phrase;
} Kinds[] = {{".zip", Kind::Zip, "a zip archive"},  {".7z", Kind::SevenZip, "a 7z archive"},
             {".gz", Kind::Gzip, "a gzip file"},    {".xz", Kind::Xz, "an xz file"},
             {".bz2", Kind::Bzip2, "a bzip2 file"}, {".zst", Kind::Zstd, "a Zstandard file"}};

// What the name's extension says the file is.
Kind NamedKind(const QString& path) {
    for (const auto& k : Kinds)
        if (path.endsWith(QLatin1String(k.extension), Qt::CaseInsensitive))
            return k.kind;
    return Kind::None;
}

bool Compressor(Kind kind) {
    return kind == Kind::Gzip || kind == Kind::Xz || kind == Kind::Bzip2 || kind == Kind::Zstd;
}

struct ReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

QString Message(archive* a) {
    const char* text = archive_error_string(a);
    // libarchive ends some of its messages with a new line.
    return text ? QString::fromUtf8(text).trimmed() : QStringLiteral("unknown error");
}

// Clears the flag that says an entry's name is UTF-8 (bit 11 of the general
// purpose flags) in the local and central headers of a one-entry zip, of
// which zip holds the bytes from offset on (the local one alone: its start).
void ClearUtf8Flags(QByteArray* zip, qsizetype offset = 0, bool local = false) {
    auto* p = reinterpret_cast<unsigned char*>(zip->data());
    const qsizetype n = zip->size();
    auto signature = [&](qsizetype at, const char* magic) {
        return at >= 0 && at + 4 <= n && std::memcmp(p + at, magic, 4) == 0;
    };
    auto clear = [&](qsizetype at) {
        if (at >= 0 && at + 2 <= n)
            p[at + 1] &= ~0x08u;
    };
    if (offset == 0 && signature(0, "PK\3\4"))
        clear(6);
    if (local)
        return;
    for (qsizetype end = n - 22; end >= 0 && end >= n - 22 - 0xFFFF; --end) {
        if (!signature(end, "PK\5\6"))
            continue;
        const qsizetype central = (qsizetype(p[end + 16]) | qsizetype(p[end + 17]) << 8 |
                                   qsizetype(p[end + 18]) << 16 | qsizetype(p[end + 19]) << 24) -
                                  offset;
        if (signature(central, "PK\1\2"))
            clear(central + 8);
        break;
    }
}

} // namespace

QString OwnName(const QString& path) {
    QString name = path.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    for (QChar& c : name)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0) ||
            SafeFile::TurnsText(c.unicode()))
            c = QLatin1Char('_');
    return name;
}

bool IsArchive(const QString& path) {
    return KindOf(path) != Kind::None;
}

bool NamedAsArchive(const QString& path) {
    return NamedKind(path) != Kind::None;
}

QString Misnamed(const QString& path, Kind is) {
    if (NamedKind(path) == is)
        return QString();
    for (const auto& k : Kinds)
        if (k.kind == is)
            return QStringLiteral("the file is %1, whatever its name says")
                .arg(QLatin1String(k.phrase));
    return QStringLiteral("the file is no archive, whatever its name says: read as itself");
}

namespace {

// An entry as its header tells it: its name, date, and why it is refused or
// passed over unread; folders are not entries (false).
bool Describe(archive_entry* header, bool compressed, const QString& fileName, Entry* entry) {
    using Code = EngineError::Code;
    if (compressed) {
        // "game.smd.gz" holds "game.smd"; a file not named as compressed
        // holds its own name.
        entry->name = OwnName(
            Compressor(NamedKind(fileName)) ? FileFunctions::WithoutExtension(fileName) : fileName);
    } else {
        const char* utf8 = archive_entry_pathname_utf8(header);
        const char* bytes = archive_entry_pathname(header);
        entry->name = OwnName(utf8 ? QString::fromUtf8(utf8)
                                   : SafeFile::DecodeName(QByteArray(bytes ? bytes : "")));
    }
    if (archive_entry_mtime_is_set(header))
        entry->mtime = std::int64_t(archive_entry_mtime(header));
    const mode_t type = archive_entry_filetype(header);
    if (!compressed && type == AE_IFDIR)
        return false;
    if (entry->name.isEmpty() || entry->name == QLatin1String(".") ||
        entry->name == QLatin1String("..")) {
        entry->error = {Code::Nameless};
    } else if (!compressed && type == AE_IFLNK) {
        entry->error = {Code::Link};
    } else if (!compressed && type != AE_IFREG) {
        entry->error = {Code::NotRegular};
    } else if (archive_entry_is_encrypted(header)) {
        entry->error = {Code::Encrypted};
    } else if (!compressed && IsCompanion(entry->name)) {
        // A read-me or a picture is passed over by its name, unread.
        entry->companion = true;
    }
    return true;
}

// An entry's content into memory. The declared size is never trusted: the
// limit holds while the content comes out, and the memory grows with what
// came out, never past the limit. False when the reading was cancelled.
bool Load(archive* a, std::int64_t limit, const std::function<bool()>& cancelled, Entry* entry) {
    using Code = EngineError::Code;
    char piece[1 << 16];
    try {
        for (;;) {
            if (cancelled())
                return false;
            const la_ssize_t got = archive_read_data(a, piece, sizeof piece);
            if (got == 0)
                break;
            if (got < 0) {
                entry->error = {Code::Damaged, Message(a)};
                break;
            }
            const std::int64_t size = entry->bytes.size() + got;
            if (size > limit) {
                entry->error = {Code::TooLarge, QString::number(limit >> 20)};
                break;
            }
            if (size > entry->bytes.capacity())
                entry->bytes.reserve(qsizetype(std::min<std::int64_t>(
                    limit,
                    std::max<std::int64_t>(size, entry->bytes.capacity() * 3 / 2 + (1 << 20)))));
            entry->bytes.append(piece, got);
        }
    } catch (const std::bad_alloc&) {
        entry->error = {Code::OutOfMemory};
    }
    if (entry->error.Failed())
        entry->bytes = QByteArray();
    return true;
}

// An entry's content held in a file in the first of the folders that takes
// one, never in memory. False when the reading was cancelled.
bool Hold(archive* a, std::int64_t limit, const std::function<bool()>& cancelled,
          const QStringList& folders, Entry* entry) {
    using Code = EngineError::Code;
    const EngineError held = SafeFile::Spill(
        folders, limit,
        [&](char* into, std::int64_t most, EngineError* why) -> std::int64_t {
            if (cancelled())
                return *why = {Code::Cancelled}, -1;
            const la_ssize_t got = archive_read_data(a, into, std::size_t(most));
            if (got < 0)
                *why = {Code::Damaged, Message(a)};
            return got;
        },
        &entry->content);
    if (held.code == Code::Cancelled)
        return false;
    entry->error = held;
    return true;
}

} // namespace

EngineError Read(const QString& path, std::int64_t limit, const std::function<void(Entry&)>& take,
                 const std::atomic<bool>* cancel, const QStringList* spillTo, bool companions) {
    using Code = EngineError::Code;
    const std::function<bool()> cancelled = [cancel] {
        return cancel && cancel->load(std::memory_order_relaxed);
    };
    const SafeFile::Source source(path);
    if (!source.IsOpen())
        return source.Error();
    const bool compressed = Compressor(KindOf(path));
    std::unique_ptr<archive, ReadFree> a(archive_read_new());
    archive_read_support_filter_all(a.get());
    if (compressed) {
        archive_read_support_format_raw(a.get());
    } else {
        archive_read_support_format_zip(a.get());
        archive_read_support_format_7zip(a.get());
    }
    if (archive_read_open_fd(a.get(), source.Descriptor(), 1 << 16) != ARCHIVE_OK)
        return {Code::ArchiveUnreadable, Message(a.get())};

    const QString fileName = path.section(QLatin1Char('/'), -1);
    archive_entry* header = nullptr;
    for (;;) {
        if (cancelled())
            return {Code::Cancelled};
        const int status = archive_read_next_header(a.get(), &header);
        if (status == ARCHIVE_EOF)
            return {};
        if (status < ARCHIVE_WARN)
            return {Code::ArchiveDamaged, Message(a.get())};
        Entry entry;
        if (!Describe(header, compressed, fileName, &entry))
            continue;
        if (!entry.error.Failed() && (!entry.companion || companions) &&
            !(spillTo ? Hold(a.get(), limit, cancelled, *spillTo, &entry)
                      : Load(a.get(), limit, cancelled, &entry)))
            return {Code::Cancelled};
        const bool stop = compressed && entry.error.Failed();
        take(entry);
        // A compressed file holds one entry: nothing is left to read.
        if (stop || compressed)
            return {};
    }
}

bool IsCompanion(const QString& name) {
    static const char* const companions[] = {".txt", ".nfo",  ".diz", ".pdf",  ".jpg", ".jpeg",
                                             ".png", ".gif",  ".htm", ".html", ".xml", ".dat",
                                             ".md5", ".sha1", ".sfv", ".cue"};
    for (const char* companion : companions)
        if (name.endsWith(QLatin1String(companion), Qt::CaseInsensitive))
            return true;
    return false;
}

EngineError ReadWhole(const QString& path, std::int64_t limit, QByteArray* bytes) {
    if (KindOf(path) != Kind::None) {
        Entry entry;
        if (const EngineError read = SingleImage(path, limit, &entry); read.Failed())
            return read;
        *bytes = entry.bytes;
        return {};
    }
    const SafeFile::Source in(path);
    if (!in.IsOpen())
        return in.Error();
    if (in.Size() > limit)
        return {EngineError::Code::SizeRule,
                QStringLiteral("it is larger than %1 MiB").arg(limit >> 20)};
    bytes->resize(qsizetype(in.Size()));
    if (!in.ReadAt(0, bytes->data(), in.Size()) || !in.Unchanged())
        return EngineError::Code::ReadFailed;
    return {};
}

EngineError SingleImage(const QString& path, std::int64_t limit, Entry* image,
                        const std::atomic<bool>* cancel, const QStringList* spillTo) {
    using Code = EngineError::Code;
    int images = 0;
    Entry found;
    const EngineError read = Read(
        path, limit,
        [&](Entry& entry) {
            if (IsCompanion(entry.name))
                return;
            if (++images == 1)
                found = std::move(entry);
        },
        cancel, spillTo);
    if (read.Failed())
        return read;
    if (images != 1)
        return images == 0 ? EngineError(Code::NoImage)
                           : EngineError(Code::SeveralImages, QString::number(images));
    if (found.error.Failed())
        return {Code::EntryRefused, found.error.Text(), found.name};
    *image = std::move(found);
    return {};
}

namespace {

// A zip's bytes on their way into a writer, the last ones held back until
// the end, so that the central header among them can be mended.
class ZipOut {
public:
    ZipOut(SafeFile::Writer& writer, bool clearUtf8) : writer_(writer), clearUtf8_(clearUtf8) {}

    static la_ssize_t Write(archive*, void* self, const void* data, std::size_t size) {
        return static_cast<ZipOut*>(self)->Take(static_cast<const char*>(data), size);
    }
    // The rest, the name's flags cleared where asked for.
    bool Finish() {
        if (clearUtf8_)
            ClearUtf8Flags(&held_, written_);
        return Put(held_.constData(), held_.size());
    }
    bool Failed() const { return failed_; }

private:
    // The one entry's central header and the end record are well within
    // this many bytes of the end.
    static constexpr qsizetype Tail = qsizetype(1) << 17;

    // Once the writer has failed, the rest is let go: the zip is given up,
    // but libarchive ends its entry as usual and frees what it holds.
    la_ssize_t Take(const char* data, std::size_t size) {
        if (failed_)
            return la_ssize_t(size);
        held_.append(data, qsizetype(size));
        if (held_.size() > 2 * Tail) {
            if (clearUtf8_ && written_ == 0)
                ClearUtf8Flags(&held_, 0, true);
            const qsizetype out = held_.size() - Tail;
            if (!Put(held_.constData(), out))
                return -1;
            held_.remove(0, out);
        }
        return la_ssize_t(size);
    }
    bool Put(const char* data, qsizetype size) {
        if (failed_ || !writer_.Write(data, size))
            return !(failed_ = true);
        written_ += size;
        return true;
    }

    SafeFile::Writer& writer_;
    const bool clearUtf8_;
    QByteArray held_;
    qsizetype written_ = 0; // before held_
    bool failed_ = false;
};

} // namespace

EngineError ZipInto(const QString& name, std::int64_t size, std::int64_t mtime,
                    SafeFile::Writer& writer, const std::function<bool(const PutPiece&)>& fill) {
    // The name's own bytes, which need not be UTF-8. Under a UTF-8 locale
    // the writer flags any name as UTF-8; a name of other bytes is stored
    // unflagged, as zip tools store a name whose character set they cannot
    // tell.
    const QByteArray bytes = SafeFile::EncodeName(name);
    ZipOut out(writer, !SafeFile::IsUtf8(bytes));
    std::unique_ptr<archive, WriteFree> a(archive_write_new());
    archive_write_set_format_zip(a.get());
    archive_write_set_options(a.get(), "zip:compression=deflate");
    archive_write_set_bytes_in_last_block(a.get(), 1);
    const auto written = [&] {
        return out.Failed() ? EngineError(EngineError::Code::WriteFailed, writer.Error().detail)
                            : EngineError(EngineError::Code::ZipNotMade, Message(a.get()));
    };
    if (archive_write_open(a.get(), &out, nullptr, &ZipOut::Write, nullptr) != ARCHIVE_OK)
        return written();
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                   archive_entry_free);
    archive_entry_copy_pathname(entry.get(), bytes.constData());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    if (mtime > 0)
        archive_entry_set_mtime(entry.get(), time_t(mtime), 0);
    archive_entry_set_size(entry.get(), size);
    if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK)
        return written();
    bool taken = true;
    const bool filled = fill([&](const char* data, std::int64_t n) {
        taken = taken && archive_write_data(a.get(), data, std::size_t(n)) == la_ssize_t(n) &&
                !out.Failed();
        return taken;
    });
    // Ended as usual whatever happened, so that libarchive frees its state.
    const bool closed = archive_write_close(a.get()) == ARCHIVE_OK;
    if (!filled && taken)
        return {};
    if (!taken || !closed || !out.Finish())
        return written();
    return {};
}

} // namespace Archive
