#include "win/picture.h"

#include "codec/gif_decoder.h"

namespace vexlo::win {

std::span<const std::uint8_t> GifResourceBytes(HMODULE module, int id) {
    const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"GIF");
    if (!info) return {};
    const HGLOBAL loaded = ::LoadResource(module, info);
    const DWORD size = ::SizeofResource(module, info);
    const auto* data = loaded ? static_cast<const std::uint8_t*>(::LockResource(loaded)) : nullptr;
    if (!data) return {};
    return {data, size};
}

std::optional<Picture> Picture::FromResource(HMODULE module, int id) { return FromGif(GifResourceBytes(module, id)); }

std::optional<Picture> Picture::FromGif(std::span<const std::uint8_t> bytes) {
    const std::optional<codec::GifImage> image = codec::DecodeGif(bytes);
    if (!image) return std::nullopt;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image->width;
    info.bmiHeader.biHeight = -image->height;  // top-down, like the GIF
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::UniqueGdi<HBITMAP> bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return std::nullopt;

    // AlphaBlend wants premultiplied colour; with alpha 0 or 255 only that
    // means "black where transparent".
    auto* out = static_cast<std::uint32_t*>(bits);
    for (std::size_t i = 0; i < image->pixels.size(); ++i) {
        const std::uint32_t pixel = image->pixels[i];
        out[i] = (pixel >> 24) == 0 ? 0u : pixel;
    }
    ::GdiFlush();
    return Picture(std::move(bitmap), image->width, image->height);
}

void Picture::Draw(HDC hdc, int x, int y) const {
    win32::UniqueDc memory(::CreateCompatibleDC(hdc));
    if (!memory) return;
    const win32::ScopedSelect select(memory.get(), bitmap_.get());
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(hdc, x, y, width_, height_, memory.get(), 0, 0, width_, height_, blend);
}

}  // namespace vexlo::win
