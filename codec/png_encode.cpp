#include "codec/png_encode.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "png/format.h"

namespace vexlo::codec {
namespace {

constexpr std::uint32_t kMaxDimension = 0x7FFF'FFFF;
// IDAT chunks of at most this many bytes: small enough for any reader's buffers.
constexpr std::size_t kIdatSize = 1 << 20;

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Chunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    // The CRC covers the type and the data, fed in pieces that fit zlib's uInt.
    uLong crc = crc32(0L, Z_NULL, 0);
    for (std::size_t at = typeAt; at < out.size();) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(out.size() - at, kIdatSize));
        crc = crc32(crc, out.data() + at, piece);
        at += piece;
    }
    Put32(out, static_cast<std::uint32_t>(crc));
}

// zlib's stream state, ended on every path.
class Deflater {
public:
    Deflater() { ok_ = deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK; }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater() {
        if (ok_) deflateEnd(&stream_);
    }
    bool ok() const { return ok_; }

    // Appends what `input` compresses to; `finish` ends the stream.
    bool Feed(std::span<const std::uint8_t> input, bool finish, std::vector<std::uint8_t>& out) {
        std::array<std::uint8_t, 64 * 1024> buffer{};
        stream_.next_in = const_cast<Bytef*>(input.data());  // zlib's API is not const-correct; it only reads
        stream_.avail_in = static_cast<uInt>(input.size());
        for (;;) {
            stream_.next_out = buffer.data();
            stream_.avail_out = static_cast<uInt>(buffer.size());
            const int status = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) return false;
            out.insert(out.end(), buffer.data(), stream_.next_out);
            if (finish ? status == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0) return true;
        }
    }

private:
    z_stream stream_{};
    bool ok_ = false;
};

// One row filtered with type `kind` (0 None .. 4 Paeth) into out[1..], the
// type in out[0]; `prior` is the row above (zeros for the first).
void FilterRow(int kind, std::span<const std::uint8_t> row, std::span<const std::uint8_t> prior,
               std::vector<std::uint8_t>& out) {
    constexpr std::size_t bpp = 4;
    out[0] = static_cast<std::uint8_t>(kind);
    // One loop per filter: the rows of a large picture are filtered five
    // times each, and choosing the predictor per byte costs most of that.
    auto each = [&](auto&& predict) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::uint8_t a = i >= bpp ? row[i - bpp] : 0;
            const std::uint8_t c = i >= bpp ? prior[i - bpp] : 0;
            out[i + 1] = static_cast<std::uint8_t>(row[i] - predict(a, prior[i], c));
        }
    };
    using U8 = std::uint8_t;
    switch (kind) {
        case 0: each([](U8, U8, U8) { return U8{0}; }); break;
        case 1: each([](U8 a, U8, U8) { return a; }); break;
        case 2: each([](U8, U8 b, U8) { return b; }); break;
        case 3: each([](U8 a, U8 b, U8) { return static_cast<U8>((a + b) / 2); }); break;
        default: each([](U8 a, U8 b, U8 c) { return png::Paeth(a, b, c); }); break;
    }
}

// The usual adaptive choice: the filtered row whose bytes, read as signed, sum smallest.
std::uint64_t Cost(std::span<const std::uint8_t> filtered) {
    std::uint64_t sum = 0;
    for (const std::uint8_t v : filtered.subspan(1)) sum += v < 128 ? v : 256u - v;
    return sum;
}

}  // namespace

std::vector<std::uint8_t> EncodeRgbaPng(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
    if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) return {};
    const std::uint64_t stride = std::uint64_t{width} * 4;
    // A row must fit zlib's 32-bit input counter along with its filter byte.
    if (stride >= UINT32_MAX || rgba.size() / stride != height || rgba.size() % stride != 0) return {};

    Deflater deflater;
    if (!deflater.ok()) return {};
    std::vector<std::uint8_t> z;
    // Each row with the filter of least cost: best guesses of screenshots
    // come out a fifth to a quarter smaller than with filter None throughout.
    const auto length = static_cast<std::size_t>(stride);
    const std::vector<std::uint8_t> zeros(length, 0);
    std::vector<std::uint8_t> best(length + 1), trial(length + 1);
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto row = rgba.subspan(y * length, length);
        const auto prior = y == 0 ? std::span<const std::uint8_t>(zeros) : rgba.subspan((y - 1) * length, length);
        FilterRow(0, row, prior, best);
        std::uint64_t bestCost = Cost(best);
        for (int kind = 1; kind <= 4; ++kind) {
            FilterRow(kind, row, prior, trial);
            const std::uint64_t cost = Cost(trial);
            if (cost < bestCost) {
                bestCost = cost;
                best.swap(trial);
            }
        }
        if (!deflater.Feed(best, y + 1 == height, z)) return {};
    }

    std::vector<std::uint8_t> out(png::kSignature.begin(), png::kSignature.end());
    std::vector<std::uint8_t> header;
    Put32(header, width);
    Put32(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
    Chunk(out, "IHDR", header);
    for (std::size_t at = 0; at < z.size(); at += kIdatSize) {
        Chunk(out, "IDAT", std::span(z).subspan(at, std::min(kIdatSize, z.size() - at)));
    }
    Chunk(out, "IEND", {});
    return out;
}

}  // namespace vexlo::codec
