#include "video/pdf_slides.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "resources/texts.h"
#include "video/av_deleters.h"
#include "video/slide_bitmap.h"

namespace vorlix {

namespace {

// Poppler reports every oddity of a damaged file on stderr; what matters reaches the user as
// the reason a deck or page could not be drawn.
void quietPoppler() {
    static std::once_flag once;
    std::call_once(
        once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

// FFmpeg's PNG encoder at its fastest setting: Poppler's own writer takes most of a second a
// page, and slides (flat colour, text) compress well at any level.
bool writePng(const std::string& path, const poppler::image& image) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec) return false;
    std::unique_ptr<AVCodecContext, CodecFree> ctx(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!ctx || !frame || !packet) return false;
    ctx->width = image.width();
    ctx->height = image.height();
    ctx->pix_fmt = AV_PIX_FMT_RGB24;
    ctx->time_base = {1, 1};
    ctx->compression_level = 1;
    ctx->thread_count = 1;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    frame->width = image.width();
    frame->height = image.height();
    frame->format = AV_PIX_FMT_RGB24;
    frame->data[0] = reinterpret_cast<std::uint8_t*>(const_cast<char*>(image.const_data()));
    frame->linesize[0] = image.bytes_per_row();
    if (avcodec_send_frame(ctx.get(), frame.get()) < 0 ||
        avcodec_receive_packet(ctx.get(), packet.get()) < 0)
        return false;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(packet->data, 1, static_cast<std::size_t>(packet->size),
                                     out) == static_cast<std::size_t>(packet->size);
    return std::fclose(out) == 0 && written;
}

std::string slidePath(const std::string& folder, int number) {
    return folder + "/スライド" + std::to_string(number) + ".png";
}

// Draws one page; false when Poppler gives no picture or it cannot be written.
bool drawPage(const poppler::page& page, const poppler::page_renderer& renderer,
              const std::string& path) {
    const poppler::rectf box = page.page_rect();
    double w = box.width(), h = box.height();
    const auto turn = page.orientation();
    if (turn == poppler::page::landscape || turn == poppler::page::seascape) std::swap(w, h);
    if (!(w > 0) || !(h > 0)) return false;
    // Wide enough for a full-HD video, the height following the page's shape. A page far
    // taller than wide is bounded by the tallest slide the frames can read.
    double dpi = 72.0 * kPdfSlideWidth / w;
    if (h * dpi / 72.0 > SlideBitmap::kMaxSide) dpi = 72.0 * SlideBitmap::kMaxSide / h;
    // Poppler rounds the size down; a hair more keeps the width at kPdfSlideWidth.
    dpi *= 1.0 + 1e-7;
    const poppler::image image = renderer.render_page(&page, dpi, dpi);
    if (!image.is_valid() || image.format() != poppler::image::format_rgb24) return false;
    return writePng(path, image);
}

}  // namespace

PdfSlides renderPdfSlides(const std::string& pdfPath, const std::string& folder, int maxPages,
                          const PdfProgress& progress) {
    quietPoppler();
    PdfSlides result;
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(pdfPath));
    if (!doc) {
        result.problem = texts::kSlideDamaged;
        return result;
    }
    if (doc->is_locked()) {
        result.problem = texts::kPdfLocked;
        return result;
    }
    const int pages = std::min(doc->pages(), maxPages);
    if (pages <= 0) {
        result.problem = texts::kPdfNoPages;
        return result;
    }
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_image_format(poppler::image::format_rgb24);
    if (progress) progress(0, pages);
    for (int i = 0; i < pages; ++i) {
        const std::string path = slidePath(folder, i + 1);
        const std::unique_ptr<poppler::page> page(doc->create_page(i));
        if (!page || !drawPage(*page, renderer, path)) {
            ++result.pagesNotDrawn;
            result.problem = texts::kPdfPageNotWritten;
        }
        result.paths.push_back(path);
        if (progress) progress(i + 1, pages);
    }
    return result;
}

std::optional<std::string> makeNewFolder(const std::string& parent, const std::string& stem) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    for (int n = 1; n <= 1000; ++n) {
        std::string path = parent + "/" + stem + (n == 1 ? "" : "_" + std::to_string(n));
        if (::mkdir(path.c_str(), 0700) == 0) return path;
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace vorlix
