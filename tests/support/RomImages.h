#pragma once

// Cartridge images with a real header, built in the test itself.

#include "TestFiles.h"

#include <QByteArray>
#include <QtEndian>

namespace RomImages {

inline void PutText(QByteArray& image, int at, const char* text, int length) {
    const QByteArray padded = QByteArray(text).leftJustified(length, ' ', true);
    image.replace(at, length, padded);
}

inline quint16 HeaderChecksum(const QByteArray& image) {
    quint32 sum = 0;
    for (qsizetype i = 0x200; i + 1 < image.size(); i += 2)
        sum += quint32(quint8(image[i])) << 8 | quint8(image[i + 1]);
    return quint16(sum);
}

// A plain image of size bytes of random content under a full header; the
// stored checksum is right unless told otherwise.
inline QByteArray PlainImage(qsizetype size, quint32 seed, bool rightChecksum = true) {
    QByteArray image = TestFiles::RandomBytes(size, seed);
    PutText(image, 0x100, "SEGA MEGA DRIVE", 16);
    PutText(image, 0x110, "(C)KSTX 2026.DEC", 16);
    PutText(image, 0x120, "KESTRIX TEST CART", 48);
    PutText(image, 0x150, "KESTRIX \x01TEST CART", 48);
    PutText(image, 0x180, "GM 00001234-00", 14);
    PutText(image, 0x190, "J6", 16);
    PutText(image, 0x1F0, "JUE", 3);
    qToBigEndian<quint32>(0, image.data() + 0x1A0);
    qToBigEndian<quint32>(quint32(size - 1), image.data() + 0x1A4);
    const quint16 sum = HeaderChecksum(image);
    qToBigEndian<quint16>(rightChecksum ? sum : quint16(sum + 1), image.data() + 0x18E);
    return image;
}

inline QByteArray Byteswapped(QByteArray image) {
    for (qsizetype i = 0; i + 1 < image.size(); i += 2)
        std::swap(image[i], image[i + 1]);
    return image;
}

} // namespace RomImages
