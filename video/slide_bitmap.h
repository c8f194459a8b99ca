// A slide as Vorlix reads it from a Windows bitmap file: our own reader, no image library.
//
// Layout read: the 14-byte file header (signature and bfSize not checked), an info header of 40
// bytes or one of its longer versions, the colour table, then the pixel rows: at bfOffBits when
// it points past the header and colour table and inside the file, else directly after the
// colour table, as plain bitmap files are written. Bytes a short
// file does not supply read as zeros. Every size comes from the header's own rows, never from
// bfSize, and is bounded: a file that claims more than kMaxSide or kMaxPixels is refused.
//
// Read: 1, 4, 8, 16, 24 and 32 bits per pixel; uncompressed, RLE8 and RLE4, bit-field masks
// (16 and 32 bits); bottom-up and top-down rows; info headers of 40 to 124 bytes.
// Refused: 12-byte core headers, other bit depths, JPEG/PNG payloads, alpha bit fields, top-down
// RLE, colour tables of more than 256 entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vorlix {

class SlideBitmap {
  public:
    // Largest width or height accepted.
    static constexpr std::int32_t kMaxSide = 16384;
    // Largest pixel count accepted: an 8K UHD slide.
    static constexpr std::int64_t kMaxPixels = 7680LL * 4320;

    // The file's bitmap, or nothing (with the reason when asked) when it cannot be opened, is
    // not a regular file, or is refused. Never blocks on a FIFO or a device.
    static std::optional<SlideBitmap> readFile(const std::string& path,
                                               std::string* reason = nullptr);

    // A bitmap file held in memory; bytes past its end read as zeros.
    static std::optional<SlideBitmap> decode(std::span<const std::uint8_t> file);

    // How many leading bytes of a file of fileSize bytes (0: head is the whole file) the decoder
    // can use, judged from its headers (the first kHeaderProbe bytes, or fewer); nothing when
    // the headers are refused.
    static constexpr std::size_t kHeaderProbe = 14 + 124;
    static std::optional<std::uint64_t> bytesUsed(std::span<const std::uint8_t> head,
                                                  std::uint64_t fileSize = 0);

    // Where the rows of a file lie when they are plain 24-bit rows, all inside the file: they can
    // then be read a band at a time instead of whole. From the file's first kHeaderProbe bytes
    // (or fewer) and its size.
    struct PlainRows {
        std::int32_t width = 0;
        std::int32_t height = 0;
        bool topDown = false;
        std::uint64_t offset = 0;  // of the first row in the file
        std::uint64_t stride = 0;
    };
    static std::optional<PlainRows> plainRows(std::span<const std::uint8_t> head,
                                              std::uint64_t fileSize);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // Bytes from one row to the next; negative when the rows are seen bottom-up in the file.
    std::ptrdiff_t stride() const { return stride_; }
    // Row y from the top: width pixels of blue, green, red.
    const std::uint8_t* row(std::int32_t y) const { return origin_ + y * stride_; }

  private:
    // A block of bytes, left uninitialised where they are about to be overwritten.
    struct Block {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0;
    };
    static std::optional<SlideBitmap> decode(Block&& file);

    SlideBitmap(std::int32_t width, std::int32_t height);
    SlideBitmap(std::int32_t width, std::int32_t height, Block&& storage,
                const std::uint8_t* origin, std::ptrdiff_t stride);
    std::uint8_t* mutableRow(std::int32_t y) { return storage_.bytes.get() + y * stride_; }

    friend class SlideDecoder;
    friend class PictureDecoder;  // PNG and JPEG slides (slide_picture.cpp)

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::ptrdiff_t stride_ = 0;
    Block storage_;  // decoded rows, or the file itself when its rows can be used in place
    const std::uint8_t* origin_ = nullptr;
};

}  // namespace vorlix
