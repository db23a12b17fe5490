// SHA-256 through OpenSSL's EVP interface, the digest the system already ships.
#include <openssl/evp.h>

#include <stdexcept>

#include "platform/sha256.h"

namespace vexlo::platform {
namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

void Check(int ok) {
    if (ok != 1) throw std::runtime_error("OpenSSL SHA-256 failed");
}

}  // namespace

struct Sha256::State {
    std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context) throw std::runtime_error("OpenSSL SHA-256 context unavailable");
    Check(EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr));
}

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    Check(EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()));
}

Sha256::Digest Sha256::Finish() {
    Digest digest{};
    unsigned int size = 0;
    Check(EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size));
    if (size != digest.size()) throw std::runtime_error("OpenSSL SHA-256 digest of unexpected size");
    // Ready for the next message, as the header promises.
    Check(EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr));
    return digest;
}

}  // namespace vexlo::platform
