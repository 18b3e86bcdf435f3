#pragma once

// What a source's reading shares on every system: the system's own read at
// an offset, and how recently modified a file is read twice.

#include <QString>

#include <cstdint>

namespace SafeFile::Detail {

// How recently before it is opened a file may have been modified and still
// be taken as it is: a write that set the time may still be copying its
// bytes. Two seconds covers the coarsest time a file system keeps (FAT's).
constexpr std::int64_t RecentNanoseconds = std::int64_t(2) * 1000000000;

// Reads exactly bytes from offset of an open file; false on an error or an
// early end.
bool ReadFully(int fd, std::int64_t offset, void* into, std::int64_t bytes);

#ifdef _WIN32
// What Windows says of one of its error codes, without the closing full stop.
QString SystemWords(unsigned long error);
#endif

} // namespace SafeFile::Detail
