// SHA-256 from the system's own cryptography: OpenSSL's libcrypto on POSIX,
// CryptoAPI (present from Windows XP SP3) on Windows.
// A failure of the system's cryptography throws std::runtime_error.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vexlo::platform {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256();
    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything updated so far; the object starts over after it.
    Digest Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Lower-case hexadecimal, two digits a byte.
std::string ToHex(std::span<const std::uint8_t> bytes);

}  // namespace vexlo::platform
