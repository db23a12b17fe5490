// The system's SHA-256 against the published test vectors, natively and under Wine.
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace vexlo::platform {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string HexOf(Sha256& sha, std::string_view text) {
    sha.Update(Bytes(text));
    return ToHex(sha.Finish());
}

constexpr std::string_view kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr std::string_view kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(Sha256, PublishedVectors) {
    Sha256 sha;
    EXPECT_EQ(HexOf(sha, ""), kEmpty);
    EXPECT_EQ(HexOf(sha, "abc"), kAbc);
    EXPECT_EQ(HexOf(sha, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, OneMillionAInUnevenPieces) {
    const std::string million(1'000'000, 'a');
    Sha256 sha;
    // Piece sizes 0, 1, 2, ... 96 over and over: every offset within a 64-byte block, empty pieces too.
    std::size_t at = 0;
    for (std::size_t piece = 0; at < million.size(); piece = (piece + 1) % 97) {
        const std::size_t take = std::min(piece, million.size() - at);
        sha.Update(Bytes(std::string_view(million).substr(at, take)));
        at += take;
    }
    EXPECT_EQ(ToHex(sha.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, FinishStartsOver) {
    Sha256 sha;
    sha.Update(Bytes("some earlier message"));
    (void)sha.Finish();
    EXPECT_EQ(HexOf(sha, "abc"), kAbc);
    EXPECT_EQ(ToHex(sha.Finish()), kEmpty);
}

}  // namespace
}  // namespace vexlo::platform
