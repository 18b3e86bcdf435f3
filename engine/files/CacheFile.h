#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

// A file of the program's caches: a first line that names its form, the
// body, then the CRC32 of all before it, so that a file cut short or
// damaged is known as such and never believed.
namespace CacheFile {

enum class State { None, Damaged, Read };

// Reads a cache file whole into *bytes (up to largest bytes): None when
// there is none, Damaged when its form, its length or its CRC32 is not
// right, Read with *body the part between the first line and the CRC32.
State Load(const QString& file, const char* magic, std::int64_t largest, QByteArray* bytes,
           QByteArrayView* body);

// Appends the CRC32 of the bytes (the magic, then the body) to them.
void Seal(QByteArray* bytes);

} // namespace CacheFile
