#pragma once

// Cartridge images with a real header, built in the test itself.

#include "RomLayout.h"
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
// Writes the header of a test cartridge over an image, with the right
// checksum unless told otherwise.
inline void PutHeader(QByteArray& image, bool rightChecksum) {
    PutText(image, 0x100, "SEGA MEGA DRIVE", 16);
    PutText(image, 0x110, "(C)KSTX 2026.DEC", 16);
    PutText(image, 0x120, "KESTRIX TEST CART", 48);
    PutText(image, 0x150, "KESTRIX \x01TEST CART", 48);
    PutText(image, 0x180, "GM 00001234-00", 14);
    PutText(image, 0x190, "J6", 16);
    PutText(image, 0x1F0, "JUE", 3);
    qToBigEndian<quint32>(0, image.data() + 0x1A0);
    qToBigEndian<quint32>(quint32(image.size() - 1), image.data() + 0x1A4);
    const quint16 sum = HeaderChecksum(image);
    qToBigEndian<quint16>(rightChecksum ? sum : quint16(sum + 1), image.data() + 0x18E);
}

// A plain image of size bytes of random content under a full header; the
// stored checksum is right unless told otherwise.
inline QByteArray PlainImage(qsizetype size, quint32 seed, bool rightChecksum = true) {
    QByteArray image = TestFiles::RandomBytes(size, seed);
    PutHeader(image, rightChecksum);
    return image;
}

inline QByteArray Byteswapped(QByteArray image) {
    for (qsizetype i = 0; i + 1 < image.size(); i += 2)
        std::swap(image[i], image[i + 1]);
    return image;
}

// The cartridge that tests/data/cartridge_expectations.py builds, so that the
// fingerprints it prints can stand in the tests as literals: a body from a
// linear congruential generator under the same header as PlainImage.
inline QByteArray CartridgeImage(qsizetype size, quint32 seed, bool rightChecksum = true) {
    QByteArray image(size, Qt::Uninitialized);
    quint32 x = seed;
    for (qsizetype i = 0; i < size; ++i) {
        x = 1103515245u * x + 12345u;
        image[i] = char(x >> 24);
    }
    PutHeader(image, rightChecksum);
    return image;
}

// Straightforward models of the layouts, byte by byte, independent of the
// engine's converters.
inline QByteArray Smd(const QByteArray& plain) {
    const qsizetype blocks = plain.size() / 16384;
    QByteArray smd(512 + plain.size(), '\0');
    smd[0] = char(blocks <= 255 ? blocks : 0);
    smd[1] = 3;
    smd[8] = char(0xAA);
    smd[9] = char(0xBB);
    smd[10] = 6;
    for (qsizetype b = 0; b < blocks; ++b)
        for (qsizetype k = 0; k < 8192; ++k) {
            smd[512 + b * 16384 + k] = plain[b * 16384 + 2 * k + 1];
            smd[512 + b * 16384 + 8192 + k] = plain[b * 16384 + 2 * k];
        }
    return smd;
}

inline QByteArray Md(const QByteArray& plain) {
    const qsizetype half = plain.size() / 2;
    QByteArray md(plain.size(), '\0');
    for (qsizetype k = 0; k < half; ++k) {
        md[k] = plain[2 * k + 1];
        md[half + k] = plain[2 * k];
    }
    return md;
}

// The plain image as a file of a layout.
inline QByteArray InLayout(const QByteArray& plain, RomLayout layout) {
    switch (layout) {
    case RomLayout::Smd:
        return Smd(plain);
    case RomLayout::Md:
        return Md(plain);
    case RomLayout::Byteswapped:
        return Byteswapped(plain);
    default:
        return plain;
    }
}

// Fingerprints of the cartridges of tests/data/cartridge_expectations.py,
// computed there with Python's zlib and hashlib: the header checksum, the
// CRC32, MD5 and SHA-1 of the plain content, then the SHA-1 of the plain,
// SMD, MD and byteswapped files.
struct Expected {
    qsizetype size;
    quint32 seed;
    const char* values[8];
};
inline const Expected Known[] = {
    {65536,
     7,
     {"0xC9C4", "0ccc057a", "7519b80bb56b23c33b3072b2e5e9e92a",
      "4e6cdd7c5925f423cfdc2546d6a24c434d78c41b", "4e6cdd7c5925f423cfdc2546d6a24c434d78c41b",
      "e6cef346fdb5d595a31648a66fc933e4a00f6869", "91c49d25aa97a7ece9b2ca92983e1f008ac63a5b",
      "0006e5177e86697084c8e985df27076369d975d3"}},
    // 2 MiB + 16 KiB and 4 MiB: every 1 MiB piece of the reader is crossed.
    {2113536,
     6,
     {"0x7E1F", "010a94ee", "79990861b0278425acb35379119efb07",
      "39036a9fcc5048ab23178454cc6995916c0b3f1b", "39036a9fcc5048ab23178454cc6995916c0b3f1b",
      "85ab190b0216c3d7fd425198be40ff4963a62a89", "537cb2cae15f79ead6e2636b7d48c277d8eb4a51",
      "c01a49d438265f10b7436e087133ad6fe8ed26be"}},
    {4194304,
     2026,
     {"0x5E3E", "f2ee0c1e", "9c0bbe0fda705fe79bb4284f3c48cefe",
      "61cc405be46be9d448ebca1baefc67f2ea73ee6a", "61cc405be46be9d448ebca1baefc67f2ea73ee6a",
      "73a5fd0ddd2a0c68b2777d0fb2ddcda65050f748", "90b752af89168c62eb25aa5d7734fb2975825eb9",
      "f8afb4b994b8e142e8fe70aa61023b5fbac2b3ec"}},
    {512,
     9,
     {"0x0000", "8b7ed0e1", "526fb9ea45ccd8160e94b57101d0ed94",
      "c84fa4550d04020281d44115f0cdf311eac3dd39", "c84fa4550d04020281d44115f0cdf311eac3dd39",
      "afebe54e805b87b77a029db869fcb42472da0b00", "3818403159f88313aba08ad46d4f9a717b35cf79",
      "8bcb8b626e20f9519672df5e2eac2280103dbbae"}},
};

} // namespace RomImages
