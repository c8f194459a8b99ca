// Frames as Vorlix draws and stores them.
//   FrameCanvas: the drawing surface, 24-bit, top-down rows of blue, green, red.
//   FrameImage:  a packed device-independent bitmap in one zero-filled block: 40-byte
//                BITMAPINFOHEADER, colour table, bottom-up rows padded to 4 bytes
//                (921,640 bytes for 640 x 480 x 24).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vorlix {

struct FrameCanvas {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // width * 3 bytes a row, top row first, no padding

    // Black. Sizes of 0 or less or past FrameImage::kMaxSide give an empty canvas (0 x 0).
    FrameCanvas(std::int32_t w, std::int32_t h);
    bool empty() const { return pixels.empty(); }
    std::uint8_t* row(std::int32_t y) {
        return pixels.data() + static_cast<std::size_t>(y) * width * 3;
    }
    const std::uint8_t* row(std::int32_t y) const {
        return pixels.data() + static_cast<std::size_t>(y) * width * 3;
    }
    void fillWhite();
};

class FrameImage {
  public:
    static constexpr std::uint32_t kHeaderSize = 40;
    // Largest frame width or height.
    static constexpr std::int32_t kMaxSide = 16384;

    // The depths of a device-independent bitmap: 1, 4, 8, 16, 24 and 32 bits a pixel.
    static bool isBitmapDepth(std::uint16_t bitDepth);
    // stride = ((width * depth + 31) / 32) * 4
    static std::uint32_t strideFor(std::int32_t width, std::uint16_t bitDepth);
    // 2^depth for depths of 8 or less, else 0
    static std::uint32_t colourCountFor(std::uint16_t bitDepth);

    // Packs a canvas at the given depth (1, 4, 8, 16, 24 or 32). Null for an empty canvas, any
    // other depth, or when the block cannot be had. Depths of 8 or less map each pixel to the
    // nearest colour of a fixed palette: black and white at 1, the 16 VGA colours at 4, a
    // 6 x 6 x 6 colour cube and 40 greys at 8. Depth 16 is 5-5-5.
    static std::unique_ptr<FrameImage> pack(const FrameCanvas& canvas, std::uint16_t bitDepth);

    std::span<const std::uint8_t> block() const { return block_; }
    std::int32_t width() const;
    std::int32_t height() const;
    std::uint16_t bitCount() const;
    std::uint32_t clrUsed() const;
    std::uint32_t sizeImage() const;
    // biSize + 4 * biClrUsed bytes: the header and colour table, the video stream's format.
    std::span<const std::uint8_t> format() const;
    // The pixel rows: biSizeImage bytes at offset biSize + 4 * biClrUsed.
    std::span<const std::uint8_t> rows() const;

  private:
    FrameImage() = default;  // only pack makes one, so every image has its header
    std::vector<std::uint8_t> block_;
};

}  // namespace vorlix
