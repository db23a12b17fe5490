// SHA-256 through CryptoAPI: the AES provider type carries SHA-256 from
// Windows XP SP3 on, without any DLL that XP lacks.
#include <windows.h>
#include <wincrypt.h>

#include <stdexcept>

#include "platform/sha256.h"
#include "platform/win32/handles.h"

// With _WIN32_WINNT at XP the headers hide the SHA-256 id, which XP SP3's
// provider does accept; the values are the documented ones.
#ifndef ALG_SID_SHA_256
#define ALG_SID_SHA_256 12
#endif
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_SHA_256)
#endif

namespace vexlo::platform {
namespace {

// CryptHashData takes a DWORD length: larger spans go in pieces.
constexpr std::size_t kMaxPiece = 0x4000'0000;

HCRYPTPROV NullProvider() { return 0; }
void ReleaseProvider(HCRYPTPROV provider) { ::CryptReleaseContext(provider, 0); }
HCRYPTHASH NullHash() { return 0; }
void DestroyHash(HCRYPTHASH hash) { ::CryptDestroyHash(hash); }

using UniqueProvider = win32::UniqueAny<HCRYPTPROV, ReleaseProvider, NullProvider>;
using UniqueHash = win32::UniqueAny<HCRYPTHASH, DestroyHash, NullHash>;

[[noreturn]] void Fail(const char* what) { throw std::runtime_error(what); }

}  // namespace

struct Sha256::State {
    UniqueProvider provider;
    UniqueHash hash;

    void NewHash() {
        HCRYPTHASH created = 0;
        if (!::CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, &created)) Fail("CryptCreateHash(SHA-256) failed");
        hash.reset(created);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    HCRYPTPROV provider = 0;
    // No key container: hashing needs none, and none is left behind.
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        Fail("CryptAcquireContextW(PROV_RSA_AES) failed");
    }
    state_->provider.reset(provider);
    state_->NewHash();
}

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t piece = bytes.size() < kMaxPiece ? bytes.size() : kMaxPiece;
        if (!::CryptHashData(state_->hash.get(), bytes.data(), static_cast<DWORD>(piece), 0)) {
            Fail("CryptHashData failed");
        }
        bytes = bytes.subspan(piece);
    }
}

Sha256::Digest Sha256::Finish() {
    Digest digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (!::CryptGetHashParam(state_->hash.get(), HP_HASHVAL, digest.data(), &size, 0) || size != digest.size()) {
        Fail("CryptGetHashParam(HP_HASHVAL) failed");
    }
    // A CryptoAPI hash is closed once its value is read: start over with a new one.
    state_->NewHash();
    return digest;
}

}  // namespace vexlo::platform
