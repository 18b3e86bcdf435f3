#include "CacheFile.h"

#include "SafeFile.h"

#include <QtEndian>

#include <zlib.h>

#include <cstring>

namespace CacheFile {

namespace {

quint32 Crc(const char* data, qsizetype size) {
    return quint32(crc32_z(0, reinterpret_cast<const Bytef*>(data), std::size_t(size)));
}

} // namespace

State Load(const QString& file, const char* magic, std::int64_t largest, QByteArray* bytes,
           QByteArrayView* body) {
    const SafeFile::Source source(file);
    if (!source.IsOpen())
        return State::None;
    bytes->clear();
    if (source.Size() <= largest) {
        bytes->resize(qsizetype(source.Size()));
        if (!source.ReadAt(0, bytes->data(), bytes->size()))
            bytes->clear();
    }
    const qsizetype first = qsizetype(std::strlen(magic));
    if (bytes->size() < first + 4 || !bytes->startsWith(magic))
        return State::Damaged;
    const qsizetype end = bytes->size() - 4;
    if (qFromBigEndian<quint32>(bytes->constData() + end) != Crc(bytes->constData(), end))
        return State::Damaged;
    *body = QByteArrayView(bytes->constData() + first, end - first);
    return State::Read;
}

void Seal(QByteArray* bytes) {
    char crc[4];
    qToBigEndian(Crc(bytes->constData(), bytes->size()), crc);
    bytes->append(crc, 4);
}

} // namespace CacheFile
