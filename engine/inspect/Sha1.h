#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

// The SHA-1 of bytes handed over in pieces. On Linux it is Nettle's, which
// uses the processor's SHA instructions where it has them (about twice as
// fast as Qt's on the machines measured); elsewhere it is Qt's.
class Sha1Hash {
public:
    Sha1Hash();
    ~Sha1Hash();
    Sha1Hash(const Sha1Hash&) = delete;
    Sha1Hash& operator=(const Sha1Hash&) = delete;

    void Add(const void* data, std::size_t bytes);
    // The 20 bytes of the digest, in lower-case hexadecimal.
    QByteArray HexResult();

private:
    struct State;
    std::unique_ptr<State> state_;
};
