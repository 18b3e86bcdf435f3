#pragma once

#include "RomInspector.h"
#include "SafeFile.h"

#include <QHash>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// What inspections of files found before, kept in the user's cache folder
// so that a collection audited again is read only where it changed: each
// file's reports (its fingerprints in both forms, its layout and what its
// size says of the dump), keyed by its path, size, modification time and
// identity. A file modified in the last two seconds is always read, and not
// kept: it may be being written. The cache is only a cache: one that cannot
// be read or written changes no result, only the time, and says so once.
class FingerprintCache {
public:
    // The cache in folder; empty: kestrix/ in the user's cache folder.
    explicit FingerprintCache(const QString& folder = QString());

    // A file as it is now: what a kept report must have been made of.
    struct Key {
        SafeFile::Entry entry;
        bool usable = false; // not there, or too young to trust
    };
    Key KeyOf(const QString& path) const;
    // The reports kept for the file at path (one, or one an archive's
    // entry), with an MD5 where asked, their files named after shown;
    // false when it must be read.
    bool Find(const QString& path, const QString& shown, const Key& key, bool md5,
              std::vector<RomInspector::Report>* out);
    // Keeps what a file's reading found (its files named after shown), when
    // all of it could be read.
    void Keep(const QString& path, const QString& shown, const Key& key, bool md5,
              const std::vector<RomInspector::Report>& reports);
    // Writes the cache back if anything was kept; false when it cannot be.
    bool Save();

    // Why the cache was not used or not kept ("" when it was), told once.
    QString Trouble() const;
    int Found() const { return found_; }
    int Read() const { return read_; }
    QString File() const { return file_; }

private:
    // What is kept of a report: its fingerprints as bytes, a few fields.
    struct Print {
        QString entry; // an archive's entry's part of the report's file (":name"), or none
        std::int64_t size = -1;
        std::int64_t plainSize = 0;
        std::uint8_t layout = 0, certainty = 0, dump = 0;
        bool noHeader = false, disc = false;
        std::uint8_t has = 0; // which of the hashes below it has
        std::uint32_t crc32 = 0, rawCrc32 = 0;
        std::array<std::uint8_t, 16> md5{};
        std::array<std::uint8_t, 20> sha1{}, rawSha1{};
    };
    struct Kept {
        SafeFile::Entry entry;
        bool md5 = false;
        std::vector<Print> prints;
    };
    static Print PrintOf(const RomInspector::Report& report, const QString& shown);
    static RomInspector::Report ReportOf(const Print& print, const QString& shown);
    void Load();

    QString file_;
    mutable std::mutex mutex_;
    QHash<QString, Kept> kept_;
    bool changed_ = false;
    QString trouble_;
    std::atomic<int> found_{0};
    std::atomic<int> read_{0};
};
