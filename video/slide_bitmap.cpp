#include "video/slide_bitmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "video/frame_image.h"
#include "common/little_endian.h"
#include "common/regular_file.h"

namespace vorlix {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kMinInfoHeader = 40;
constexpr std::uint32_t kMaxInfoHeader = 124;  // BITMAPV5HEADER
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitFields = 3;
// Room the scaler may read past the last row.
constexpr std::size_t kRowSlack = 64;

// Little-endian fields of a file held in memory; what lies past the end reads as zero.
struct Bytes {
    std::span<const std::uint8_t> data;

    std::uint8_t at(std::uint64_t i) const { return i < data.size() ? data[i] : 0; }
    std::uint16_t u16(std::uint64_t i) const {
        return static_cast<std::uint16_t>(at(i) | at(i + 1) << 8);
    }
    std::uint32_t u32(std::uint64_t i) const {
        return static_cast<std::uint32_t>(at(i)) | static_cast<std::uint32_t>(at(i + 1)) << 8 |
               static_cast<std::uint32_t>(at(i + 2)) << 16 |
               static_cast<std::uint32_t>(at(i + 3)) << 24;
    }
    std::int32_t i32(std::uint64_t i) const { return static_cast<std::int32_t>(u32(i)); }
};

// Where everything lies in the file, and how much of it the rows need.
struct Layout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive; topDown says which row comes first
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint64_t tableOffset = 0;
    std::uint32_t tableEntries = 0;
    std::array<std::uint32_t, 3> masks{};  // red, green, blue
    std::uint64_t rowsOffset = 0;
    std::uint64_t stride = 0;     // uncompressed row length
    std::uint64_t rowsBytes = 0;  // what the rows can use: exact, or a bound for RLE
};

// fileSize: the whole file's size, which bfOffBits must point inside of.
std::optional<Layout> parseLayout(const Bytes& b, std::uint64_t fileSize) {
    Layout l;
    const std::uint32_t biSize = b.u32(kFileHeaderSize);
    if (biSize < kMinInfoHeader || biSize > kMaxInfoHeader) return std::nullopt;
    const std::int32_t width = b.i32(kFileHeaderSize + 4);
    const std::int32_t height = b.i32(kFileHeaderSize + 8);
    l.bitCount = b.u16(kFileHeaderSize + 14);
    l.compression = b.u32(kFileHeaderSize + 16);
    const std::uint32_t clrUsed = b.u32(kFileHeaderSize + 32);

    if (width <= 0 || width > SlideBitmap::kMaxSide) return std::nullopt;
    if (height == 0 || height > SlideBitmap::kMaxSide || height < -SlideBitmap::kMaxSide) {
        return std::nullopt;
    }
    l.width = width;
    l.topDown = height < 0;
    l.height = l.topDown ? -height : height;
    if (static_cast<std::int64_t>(l.width) * l.height > SlideBitmap::kMaxPixels)
        return std::nullopt;

    if (!FrameImage::isBitmapDepth(l.bitCount)) return std::nullopt;
    switch (l.compression) {
        case kBiRgb:
            break;
        case kBiRle8:
            if (l.bitCount != 8 || l.topDown) return std::nullopt;
            break;
        case kBiRle4:
            if (l.bitCount != 4 || l.topDown) return std::nullopt;
            break;
        case kBiBitFields:
            if (l.bitCount != 16 && l.bitCount != 32) return std::nullopt;
            break;
        default:
            return std::nullopt;
    }

    std::uint64_t afterHeader = kFileHeaderSize + static_cast<std::uint64_t>(biSize);
    if (l.compression == kBiBitFields) {
        // The three masks sit in the longer headers, or follow a 40-byte one.
        const std::uint64_t at = kFileHeaderSize + kMinInfoHeader;
        l.masks = {b.u32(at), b.u32(at + 4), b.u32(at + 8)};
        if (biSize < kMinInfoHeader + 12) afterHeader = at + 12;
    } else if (l.bitCount == 16) {
        l.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (l.bitCount == 32) {
        l.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }

    l.tableOffset = afterHeader;
    if (l.bitCount <= 8) {
        // Oversized tables occur in the wild; the rows follow all of it, the pixels use the
        // first 2^bitCount entries.
        if (clrUsed > 256) return std::nullopt;
        l.tableEntries = clrUsed != 0 ? clrUsed : 1u << l.bitCount;
    }
    l.rowsOffset = l.tableOffset + 4ull * l.tableEntries;
    // Writers may leave a gap before the rows, or put a colour table in a file of more than
    // 8 bits: bfOffBits says where the rows are whenever it points past the header and the
    // table and inside the file.
    const std::uint32_t offBits = b.u32(10);
    if (offBits > l.rowsOffset && offBits < fileSize) l.rowsOffset = offBits;

    l.stride = FrameImage::strideFor(l.width, l.bitCount);
    if (l.compression == kBiRle8 || l.compression == kBiRle4) {
        // Runs of one pixel and an end-of-line code for every row: more than any sane encoder.
        l.rowsBytes = 2ull * l.width * l.height + 4ull * l.height + 16;
    } else {
        l.rowsBytes = l.stride * l.height;
    }
    return l;
}

// One channel of a bit-field pixel scaled to 8 bits.
class Channel {
  public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) return;
        shift_ = std::countr_zero(mask);
        bits_ = std::bit_width(mask >> shift_);
        if (bits_ < 8) {
            const std::uint32_t max = (1u << bits_) - 1;
            for (std::uint32_t v = 0; v <= max; ++v) {
                small_[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
            }
        }
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        if (mask_ == 0) return 0;
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return bits_ < 8 ? small_[v] : static_cast<std::uint8_t>(v >> (bits_ - 8));
    }

  private:
    std::uint32_t mask_;
    int shift_ = 0;
    int bits_ = 0;
    std::array<std::uint8_t, 128> small_{};
};

}  // namespace

// Turns the file's rows into top-down blue-green-red rows.
class SlideDecoder {
  public:
    SlideDecoder(const Bytes& bytes, const Layout& layout) : b_(bytes), l_(layout) {}

    std::optional<SlideBitmap> run() {
        SlideBitmap bmp(l_.width, l_.height);
        readPalette();
        if (l_.compression == kBiRle8 || l_.compression == kBiRle4) {
            decodeRle(bmp);
        } else {
            decodeRows(bmp);
        }
        return bmp;
    }

  private:
    void readPalette() {
        const std::uint32_t usable = std::min<std::uint32_t>(l_.tableEntries, 256);
        for (std::uint32_t i = 0; i < usable; ++i) {
            const std::uint64_t at = l_.tableOffset + 4ull * i;
            palette_[i] = {b_.at(at), b_.at(at + 1), b_.at(at + 2)};
        }
    }

    void putIndex(std::uint8_t* out, std::uint32_t index) const {
        // Indexes past the table's entries meet zero-filled slots, as the table's block was.
        const auto& c = palette_[index];
        out[0] = c[0];
        out[1] = c[1];
        out[2] = c[2];
    }

    void decodeRows(SlideBitmap& bmp) {
        const std::size_t stride = static_cast<std::size_t>(l_.stride);
        std::vector<std::uint8_t> scratch(stride);
        const std::size_t size = b_.data.size();
        const Channel red(l_.masks[0]), green(l_.masks[1]), blue(l_.masks[2]);
        const auto putMasked = [&](std::uint8_t* out, std::uint32_t p) {
            out[0] = blue(p);
            out[1] = green(p);
            out[2] = red(p);
        };
        const bool plain32 = l_.masks == std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
        // Rows past the end of the file all read the same zeros: decoded once, then copied, so
        // a tiny file claiming a large slide costs no more than the copies.
        std::int32_t zeroRow = -1;
        for (std::int32_t r = 0; r < l_.height; ++r) {
            const std::uint64_t off = l_.rowsOffset + static_cast<std::uint64_t>(r) * stride;
            const std::int32_t y = l_.topDown ? r : l_.height - 1 - r;
            if (off >= size) {
                if (zeroRow >= 0) {
                    std::memcpy(bmp.mutableRow(y), bmp.mutableRow(zeroRow),
                                static_cast<std::size_t>(l_.width) * 3);
                    continue;
                }
                zeroRow = y;
            }
            const std::uint8_t* src;
            if (off <= size && size - off >= stride) {
                src = b_.data.data() + off;
            } else {
                std::fill(scratch.begin(), scratch.end(), 0);
                if (off < size) std::memcpy(scratch.data(), b_.data.data() + off, size - off);
                src = scratch.data();
            }
            std::uint8_t* out = bmp.mutableRow(y);
            const std::int32_t w = l_.width;
            switch (l_.bitCount) {
                case 1:
                    for (std::int32_t x = 0; x < w; ++x, out += 3) {
                        putIndex(out, (src[x >> 3] >> (7 - (x & 7))) & 1);
                    }
                    break;
                case 4:
                    for (std::int32_t x = 0; x < w; ++x, out += 3) {
                        putIndex(out, (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F);
                    }
                    break;
                case 8:
                    for (std::int32_t x = 0; x < w; ++x, out += 3) putIndex(out, src[x]);
                    break;
                case 16:
                    for (std::int32_t x = 0; x < w; ++x, out += 3) {
                        putMasked(out, getLe16(src + 2 * x));
                    }
                    break;
                case 24:
                    std::memcpy(out, src, static_cast<std::size_t>(w) * 3);
                    break;
                case 32:
                    if (plain32) {
                        for (std::int32_t x = 0; x < w; ++x, out += 3) {
                            std::memcpy(out, src + 4 * x, 3);
                        }
                    } else {
                        for (std::int32_t x = 0; x < w; ++x, out += 3) {
                            putMasked(out, getLe32(src + 4 * x));
                        }
                    }
                    break;
            }
        }
    }

    // Run-length rows, bottom row first. Pixels the runs never reach keep index 0; runs past the
    // right edge are cut there; the data ends at the end-of-bitmap code or where the file ends.
    void decodeRle(SlideBitmap& bmp) {
        const std::int64_t w = l_.width;
        const std::int64_t h = l_.height;
        std::vector<std::uint8_t> index(static_cast<std::size_t>(w * h), 0);
        const bool four = l_.compression == kBiRle4;
        const std::uint64_t end =
            std::min<std::uint64_t>(b_.data.size(), l_.rowsOffset + l_.rowsBytes);
        std::uint64_t pos = l_.rowsOffset;
        std::int64_t x = 0;
        std::int64_t y = 0;  // from the bottom
        std::vector<bool> reached(static_cast<std::size_t>(h), false);
        auto put = [&](std::uint8_t v) {
            if (x < w) {
                index[static_cast<std::size_t>(y * w + x)] = v;
                reached[static_cast<std::size_t>(y)] = true;
            }
            ++x;
        };
        while (pos + 1 < end && y < h) {
            const std::uint8_t count = b_.at(pos);
            const std::uint8_t code = b_.at(pos + 1);
            pos += 2;
            if (count > 0) {
                for (int i = 0; i < count && x < w; ++i) {
                    put(four ? ((i & 1) ? code & 0x0F : code >> 4) : code);
                }
            } else if (code == 0) {
                x = 0;
                ++y;
            } else if (code == 1) {
                break;
            } else if (code == 2) {
                x = std::min(x + b_.at(pos), w);
                y += b_.at(pos + 1);
                pos += 2;
            } else {
                const std::uint64_t bytes = four ? (code + 1u) / 2 : code;
                for (int i = 0; i < code && x < w; ++i) {
                    const std::uint8_t v = b_.at(pos + (four ? i / 2 : i));
                    put(four ? ((i & 1) ? v & 0x0F : v >> 4) : v);
                }
                pos += (bytes + 1) & ~1ull;  // absolute runs are padded to a 16-bit boundary
            }
        }
        // Rows no run reached are all index 0: one such row, copied.
        std::int32_t blankRow = -1;
        for (std::int64_t row = 0; row < h; ++row) {
            const auto y = static_cast<std::int32_t>(h - 1 - row);
            std::uint8_t* out = bmp.mutableRow(y);
            if (!reached[static_cast<std::size_t>(row)]) {
                if (blankRow >= 0) {
                    std::memcpy(out, bmp.mutableRow(blankRow), static_cast<std::size_t>(w) * 3);
                    continue;
                }
                blankRow = y;
            }
            const std::uint8_t* in = index.data() + row * w;
            for (std::int64_t i = 0; i < w; ++i, out += 3) putIndex(out, in[i]);
        }
    }

    const Bytes& b_;
    const Layout& l_;
    std::array<std::array<std::uint8_t, 3>, 256> palette_{};
};

SlideBitmap::SlideBitmap(std::int32_t width, std::int32_t height)
    : width_(width),
      height_(height),
      stride_(static_cast<std::ptrdiff_t>((static_cast<std::size_t>(width) * 3 + 31) &
                                          ~std::size_t{31})) {
    const std::size_t used = static_cast<std::size_t>(width) * 3;
    storage_.size =
        static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height) + kRowSlack;
    storage_.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(storage_.size);
    origin_ = storage_.bytes.get();
    // The decoder fills every pixel; padding and slack are zeroed so the scaler reads no garbage.
    for (std::int32_t y = 0; y < height; ++y) {
        std::memset(mutableRow(y) + used, 0, static_cast<std::size_t>(stride_) - used);
    }
    std::memset(storage_.bytes.get() + storage_.size - kRowSlack, 0, kRowSlack);
}

SlideBitmap::SlideBitmap(std::int32_t width, std::int32_t height, Block&& storage,
                         const std::uint8_t* origin, std::ptrdiff_t stride)
    : width_(width),
      height_(height),
      stride_(stride),
      storage_(std::move(storage)),
      origin_(origin) {}

std::optional<std::uint64_t> SlideBitmap::bytesUsed(std::span<const std::uint8_t> head,
                                                    std::uint64_t fileSize) {
    const auto layout = parseLayout(Bytes{head}, fileSize == 0 ? head.size() : fileSize);
    if (!layout) return std::nullopt;
    return layout->rowsOffset + layout->rowsBytes;
}

std::optional<SlideBitmap::PlainRows> SlideBitmap::plainRows(std::span<const std::uint8_t> head,
                                                             std::uint64_t fileSize) {
    const auto l = parseLayout(Bytes{head}, fileSize);
    // The same rows decode() would use where they lie.
    if (!l || l->bitCount != 24 || l->compression != kBiRgb ||
        l->rowsOffset + l->rowsBytes > fileSize) {
        return std::nullopt;
    }
    return PlainRows{l->width, l->height, l->topDown, l->rowsOffset, l->stride};
}

std::optional<SlideBitmap> SlideBitmap::decode(std::span<const std::uint8_t> file) {
    const Bytes bytes{file};
    const auto layout = parseLayout(bytes, file.size());
    if (!layout) return std::nullopt;
    try {
        return SlideDecoder(bytes, *layout).run();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<SlideBitmap> SlideBitmap::decode(Block&& file) {
    const Bytes bytes{std::span<const std::uint8_t>(file.bytes.get(), file.size)};
    const auto layout = parseLayout(bytes, file.size);
    if (!layout) return std::nullopt;
    // Whole 24-bit rows are already what the renderer wants: use them where they lie.
    if (layout->bitCount == 24 && layout->compression == kBiRgb &&
        layout->rowsOffset + layout->rowsBytes <= file.size) {
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(layout->stride);
        const std::uint8_t* first = file.bytes.get() + layout->rowsOffset;
        const std::uint8_t* origin =
            layout->topDown ? first : first + (layout->height - 1) * stride;
        return SlideBitmap(layout->width, layout->height, std::move(file), origin,
                           layout->topDown ? stride : -stride);
    }
    try {
        return SlideDecoder(bytes, *layout).run();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<SlideBitmap> SlideBitmap::readFile(const std::string& path, std::string* reason) {
    // Only plain files: a pipe or device could block or never end.
    const int fd = openRegularFile(path, reason);
    if (fd < 0) return std::nullopt;
    FileCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (reason != nullptr) *reason = systemReason(errno);
        return std::nullopt;
    }

    try {
        Block file;
        std::uint8_t head[kHeaderProbe];
        const std::size_t headSize = readUpTo(fd, head, sizeof head);
        const std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
        const auto used = bytesUsed(std::span<const std::uint8_t>(head, headSize),
                                    std::max<std::uint64_t>(fileSize, headSize));
        if (!used) {
            if (reason != nullptr) *reason = "not a bitmap this program reads";
            return std::nullopt;
        }
        const std::size_t want =
            std::max(headSize, static_cast<std::size_t>(std::min(*used, fileSize)));
        // Slack past the end, for the scaler when the rows are used in place.
        file.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(want + kRowSlack);
        std::memcpy(file.bytes.get(), head, headSize);
        file.size = headSize + readUpTo(fd, file.bytes.get() + headSize, want - headSize);
        std::memset(file.bytes.get() + file.size, 0, want + kRowSlack - file.size);
        // The whole file's size, so that bfOffBits is judged as it was for the headers.
        file.size = std::max<std::size_t>(
            file.size, static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, want)));
        auto bitmap = decode(std::move(file));
        if (!bitmap && reason != nullptr) *reason = "not a bitmap this program reads";
        return bitmap;
    } catch (const std::bad_alloc&) {
        if (reason != nullptr) *reason = systemReason(ENOMEM);
        return std::nullopt;
    }
}

}  // namespace vorlix
