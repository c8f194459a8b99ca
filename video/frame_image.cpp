#include "video/frame_image.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "common/little_endian.h"

namespace vorlix {

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

// The sixteen colours of the VGA palette, in their Windows order.
constexpr std::array<Rgb, 16> kVgaColours{{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

int distance(int r, int g, int b, const Rgb& c) {
    return (r - c.r) * (r - c.r) + (g - c.g) * (g - c.g) + (b - c.b) * (b - c.b);
}

// The 8-bit palette: a 6 x 6 x 6 colour cube (index 36 r + 6 g + b, levels 0, 51, ... 255) and
// 40 further greys between the cube's six, for grey-heavy slides.
constexpr int kCubeLevels = 6;
constexpr int kCubeStep = 51;
constexpr int kCubeSize = kCubeLevels * kCubeLevels * kCubeLevels;
constexpr int kExtraGreys = 40;

// Eight greys in each of the five gaps between the cube's greys: no grey is more than 3 off.
constexpr std::uint8_t extraGrey(int k) {
    return static_cast<std::uint8_t>(k / 8 * kCubeStep + (kCubeStep * (k % 8 + 1) + 4) / 9);
}

std::array<Rgb, 256> halftonePalette() {
    std::array<Rgb, 256> p{};
    for (int i = 0; i < kCubeSize; ++i) {
        p[i] = {static_cast<std::uint8_t>(i / 36 * kCubeStep),
                static_cast<std::uint8_t>(i / 6 % 6 * kCubeStep),
                static_cast<std::uint8_t>(i % 6 * kCubeStep)};
    }
    for (int k = 0; k < kExtraGreys; ++k)
        p[kCubeSize + k] = {extraGrey(k), extraGrey(k), extraGrey(k)};
    return p;
}

// Nearest entry of the 8-bit palette: the nearest cube colour or the nearest grey, whichever
// is closer.
class HalftoneMatcher {
  public:
    HalftoneMatcher() : palette_(halftonePalette()) {
        // Every grey of the palette, cube greys included, and the one nearest each level.
        std::array<int, kCubeLevels + kExtraGreys> greys{};
        for (int i = 0; i < kCubeLevels; ++i) greys[i] = i * (36 + 6 + 1);
        for (int k = 0; k < kExtraGreys; ++k) greys[kCubeLevels + k] = kCubeSize + k;
        for (int level = 0; level < 256; ++level) {
            int best = greys[0];
            for (int idx : greys) {
                if (std::abs(palette_[idx].r - level) < std::abs(palette_[best].r - level)) {
                    best = idx;
                }
            }
            nearestGrey_[level] = static_cast<std::uint8_t>(best);
        }
    }
    const std::array<Rgb, 256>& palette() const { return palette_; }

    std::uint8_t operator()(int r, int g, int b) const {
        auto level = [](int v) { return (v + kCubeStep / 2) / kCubeStep; };
        const int cube = level(r) * 36 + level(g) * 6 + level(b);
        const int grey = nearestGrey_[(r + g + b + 1) / 3];
        return static_cast<std::uint8_t>(
            distance(r, g, b, palette_[grey]) < distance(r, g, b, palette_[cube]) ? grey : cube);
    }

  private:
    std::array<Rgb, 256> palette_;
    std::array<std::uint8_t, 256> nearestGrey_{};
};

std::uint8_t nearestVga(int r, int g, int b) {
    int best = 0;
    for (int i = 1; i < 16; ++i) {
        if (distance(r, g, b, kVgaColours[i]) < distance(r, g, b, kVgaColours[best])) best = i;
    }
    return static_cast<std::uint8_t>(best);
}

}  // namespace

FrameCanvas::FrameCanvas(std::int32_t w, std::int32_t h) {
    // A canvas no frame could ever be stays empty; packing it then fails.
    if (w <= 0 || h <= 0 || w > FrameImage::kMaxSide || h > FrameImage::kMaxSide) return;
    width = w;
    height = h;
    pixels.assign(static_cast<std::size_t>(w) * h * 3, 0);
}

void FrameCanvas::fillWhite() {
    std::fill(pixels.begin(), pixels.end(), std::uint8_t{0xFF});
}

bool FrameImage::isBitmapDepth(std::uint16_t bitDepth) {
    switch (bitDepth) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return true;
        default:
            return false;
    }
}

std::uint32_t FrameImage::strideFor(std::int32_t width, std::uint16_t bitDepth) {
    return static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) * bitDepth + 31) / 32 * 4);
}

std::uint32_t FrameImage::colourCountFor(std::uint16_t bitDepth) {
    return bitDepth <= 8 ? 1u << bitDepth : 0;
}

std::unique_ptr<FrameImage> FrameImage::pack(const FrameCanvas& canvas, std::uint16_t bitDepth) {
    if (canvas.width <= 0 || canvas.height <= 0 || !isBitmapDepth(bitDepth)) return nullptr;
    if (canvas.pixels.size() != static_cast<std::size_t>(canvas.width) * canvas.height * 3) {
        return nullptr;
    }
    const std::uint32_t stride = strideFor(canvas.width, bitDepth);
    const std::uint32_t colours = colourCountFor(bitDepth);
    const std::uint32_t sizeImage = stride * static_cast<std::uint32_t>(canvas.height);
    const std::size_t tableBytes = 4u * colours;

    std::unique_ptr<FrameImage> image;
    try {
        image.reset(new FrameImage);
        image->block_.assign(kHeaderSize + tableBytes + sizeImage, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    std::uint8_t* h = image->block_.data();
    putLe32(h + 0, kHeaderSize);
    putLe32(h + 4, static_cast<std::uint32_t>(canvas.width));
    putLe32(h + 8, static_cast<std::uint32_t>(canvas.height));
    putLe16(h + 12, 1);
    putLe16(h + 14, bitDepth);
    putLe32(h + 16, 0);  // BI_RGB
    putLe32(h + 20, sizeImage);
    putLe32(h + 32, colours);

    std::uint8_t* table = h + kHeaderSize;
    auto writeTable = [&](const auto& colourList) {
        for (std::size_t i = 0; i < colourList.size() && i < colours; ++i) {
            table[4 * i] = colourList[i].b;
            table[4 * i + 1] = colourList[i].g;
            table[4 * i + 2] = colourList[i].r;
        }
    };

    std::uint8_t* rows = table + tableBytes;
    const std::int32_t w = canvas.width;
    std::optional<HalftoneMatcher> halftone;
    if (bitDepth == 1) writeTable(std::array<Rgb, 2>{{{0, 0, 0}, {255, 255, 255}}});
    if (bitDepth == 4) writeTable(kVgaColours);
    if (bitDepth == 8) {
        halftone.emplace();
        writeTable(halftone->palette());
    }

    for (std::int32_t y = 0; y < canvas.height; ++y) {
        const std::uint8_t* in = canvas.row(y);
        std::uint8_t* out = rows + static_cast<std::size_t>(canvas.height - 1 - y) * stride;
        switch (bitDepth) {
            case 1:
                for (std::int32_t x = 0; x < w; ++x, in += 3) {
                    if (in[0] + in[1] + in[2] >= 383) out[x >> 3] |= 0x80 >> (x & 7);
                }
                break;
            case 4:
                for (std::int32_t x = 0; x < w; ++x, in += 3) {
                    out[x >> 1] |= nearestVga(in[2], in[1], in[0]) << ((x & 1) ? 0 : 4);
                }
                break;
            case 8:
                for (std::int32_t x = 0; x < w; ++x, in += 3)
                    out[x] = (*halftone)(in[2], in[1], in[0]);
                break;
            case 16:
                for (std::int32_t x = 0; x < w; ++x, in += 3) {
                    putLe16(out + 2 * x, static_cast<std::uint16_t>(
                                             (in[2] >> 3) << 10 | (in[1] >> 3) << 5 | in[0] >> 3));
                }
                break;
            case 24:
                std::memcpy(out, in, static_cast<std::size_t>(w) * 3);
                break;
            case 32:
                for (std::int32_t x = 0; x < w; ++x, in += 3) std::memcpy(out + 4 * x, in, 3);
                break;
        }
    }
    return image;
}

std::int32_t FrameImage::width() const {
    return static_cast<std::int32_t>(getLe32(block_.data() + 4));
}
std::int32_t FrameImage::height() const {
    return static_cast<std::int32_t>(getLe32(block_.data() + 8));
}
std::uint16_t FrameImage::bitCount() const {
    return getLe16(block_.data() + 14);
}
std::uint32_t FrameImage::clrUsed() const {
    return getLe32(block_.data() + 32);
}
std::uint32_t FrameImage::sizeImage() const {
    return getLe32(block_.data() + 20);
}

std::span<const std::uint8_t> FrameImage::format() const {
    return std::span<const std::uint8_t>(block_).first(kHeaderSize + 4 * clrUsed());
}

std::span<const std::uint8_t> FrameImage::rows() const {
    return std::span<const std::uint8_t>(block_).subspan(kHeaderSize + 4 * clrUsed(), sizeImage());
}

}  // namespace vorlix
