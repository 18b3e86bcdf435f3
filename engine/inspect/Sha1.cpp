#include "Sha1.h"

#ifdef KESTRIX_NETTLE
#include <nettle/sha1.h>
#else
#include <QCryptographicHash>
#endif

#ifdef KESTRIX_NETTLE
struct Sha1Hash::State {
    sha1_ctx context;
};

Sha1Hash::Sha1Hash() : state_(std::make_unique<State>()) {
    sha1_init(&state_->context);
}

void Sha1Hash::Add(const void* data, std::size_t bytes) {
    sha1_update(&state_->context, bytes, static_cast<const std::uint8_t*>(data));
}

QByteArray Sha1Hash::HexResult() {
    QByteArray digest(SHA1_DIGEST_SIZE, Qt::Uninitialized);
    sha1_digest(&state_->context, SHA1_DIGEST_SIZE, reinterpret_cast<std::uint8_t*>(digest.data()));
    return digest.toHex();
}
#else
struct Sha1Hash::State {
    QCryptographicHash hash{QCryptographicHash::Sha1};
};

Sha1Hash::Sha1Hash() : state_(std::make_unique<State>()) {}

void Sha1Hash::Add(const void* data, std::size_t bytes) {
    state_->hash.addData(QByteArrayView(static_cast<const char*>(data), qsizetype(bytes)));
}

QByteArray Sha1Hash::HexResult() {
    return state_->hash.result().toHex();
}
#endif

Sha1Hash::~Sha1Hash() = default;
