// The web video read back by ffprobe and ffmpeg: codecs, frame shape, key frames and chapters at
// the slide changes, index before data, duration, size, the sound's level as ffmpeg measures it;
// and played, seeked and its chapters read by headless Chromium where that is installed.
#include <gtest/gtest.h>

#include <regex>

extern "C" {
#include <libavutil/log.h>
}

#include "tests/support/files.h"
#include "video/mp4_writer.h"
#include "video/web_audio.h"

namespace vorlix {
namespace {

using testing::ScratchDir;
using testing::run;
using testing::writeSpeech;
const int kQuiet = (av_log_set_level(AV_LOG_ERROR), 0);  // the encoders' statistics bury the output

// Every value of `key` in ffprobe's compact output (or ffmpeg's log), in order.
std::vector<std::string> values(const std::string& text, const std::string& key) {
    std::vector<std::string> out;
    const std::regex field("(^|[|\\s,{])" + key + "[=:]\\s*([^|\\n]*)");
    for (auto i = std::sregex_iterator(text.begin(), text.end(), field); i != std::sregex_iterator(); ++i)
        out.push_back((*i)[2]);
    return out;
}

// Slides of one colour each with dark "text lines", so they code like real ones, shown from the
// given narration samples on (as bitmaps, or as PNGs made from them); the video `seconds` long
// over the narration.
Mp4Result writeVideo(const ScratchDir& dir, const std::string& narration, double seconds, int w,
                     int h, const std::vector<std::pair<std::int64_t, std::uint32_t>>& slides,
                     bool png = false) {
    Mp4Job job{.outputPath = dir.file("lecture.mp4"),
               .endSample = static_cast<std::int64_t>(seconds * kChangeRate),
               .narrationPath = narration};
    for (const auto& [sample, rgb] : slides) {
        const std::string path = dir.file("スライド" + std::to_string(job.changes.size() + 1) + ".bmp");
        testing::writeFile(path, testing::bmpOf(w, h, [&, colour = rgb](int x, int y) {
            const bool ink = y % 40 > 30 && x % 23 > 4 && y > h / 8 && y < h * 7 / 8 && x > w / 10 && x < w * 9 / 10;
            return ink ? 0x202020u : colour;
        }));
        job.changes.push_back({sample, path});
        if (png) {
            const std::string made = path.substr(0, path.size() - 4) + ".png";
            run("ffmpeg -v error -i '" + path + "' '" + made + "' && rm '" + path + "'");
            job.changes.back().slidePath = made;
        }
    }
    return writeMp4(job);
}

TEST(WebVideo, ReadsBackWithKeyFramesAndChaptersAtTheChanges) {
    const struct {
        int slideW, slideH, frameW, frameH, x, y;  // x, y: where the slide lands in the frame
        bool png = false;
    } cases[] = {{1920, 1080, 1280, 720, 0, 0, true}, {1024, 768, 960, 720, 0, 0},
                 {800, 800, 960, 720, 120, 0}, {2560, 720, 1280, 720, 0, 180}};
    const double changes[] = {0, 3.3, 6.05};  // off the half-second ticks
    for (const auto& c : cases) {
        ScratchDir dir;
        ASSERT_TRUE(writeSpeech(dir.file("n.wav"), 8.0, 0.5));
        const Mp4Result r = writeVideo(dir, dir.file("n.wav"), 8.0, c.slideW, c.slideH,
                                       {{0, 0xC04040}, {145530, 0x40A040}, {266805, 0x4060D0}}, c.png);
        ASSERT_TRUE(r.ok && r.problems.empty()) << r.error;
        const std::string mp4 = dir.file("lecture.mp4"), probe = "ffprobe -v error -of compact=p=0 ";
        const std::string info = run(probe + "-show_entries format=duration:stream=codec_name,profile,"
                                     "pix_fmt,width,height,sample_rate,channels:chapter=start_time:"
                                     "chapter_tags=title '" + mp4 + "'");
        SCOPED_TRACE(info);
        EXPECT_EQ(values(info, "codec_name"),
                  (std::vector<std::string>{"h264", "aac", "bin_data"}));  // chapters: a track
        EXPECT_EQ(values(info, "profile").at(0) + values(info, "pix_fmt").at(0), "Highyuv420p");
        EXPECT_EQ(values(info, "sample_rate").at(0) + values(info, "channels").at(0), "480001");
        EXPECT_EQ(values(info, "width").at(0) + "x" + values(info, "height").at(0),
                  std::to_string(c.frameW) + "x" + std::to_string(c.frameH));
        EXPECT_NEAR(std::stod(values(info, "duration").at(0)), 8.0, 0.05);
        const testing::Bytes bytes = testing::readBytes(mp4);
        const std::string_view file(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        EXPECT_LT(file.find("moov"), file.find("mdat")) << "the index must come before the data";
        // One key frame per change and none between; a chapter at each (the cues: in Chromium).
        const std::string packets = run(probe + "-select_streams v -show_entries packet=pts_time,flags '" + mp4 + "'");
        const auto times = values(packets, "pts_time"), flags = values(packets, "flags"),
                   starts = values(info, "start_time"), titles = values(info, "tag:title");
        ASSERT_EQ(times.size(), 3u) << packets;
        ASSERT_EQ(starts.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(flags[i][0], 'K') << i;
            EXPECT_NEAR(std::stod(times[i]), changes[i], 0.001) << i;
            EXPECT_NEAR(std::stod(starts[i]), changes[i], 0.001) << i;
            EXPECT_EQ(titles[i], "スライド " + std::to_string(i + 1));
        }
        // The first slide inside its black bars, its red corner.
        const std::string frame = run("ffmpeg -v error -i '" + mp4 + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
        ASSERT_EQ(frame.size(), std::size_t(c.frameW) * c.frameH * 3);
        const auto at = [&](int x, int y, int ch = 0) {
            return static_cast<std::uint8_t>(frame[(std::size_t(y) * c.frameW + x) * 3 + ch]);
        };
        for (int ch = 0; ch < 3; ++ch) {  // black bars: dark in every channel
            if (c.x > 0) { EXPECT_LE(at(c.x / 2, c.frameH / 2, ch), 20) << "left bar"; }
            if (c.x > 0) { EXPECT_LE(at(c.frameW - c.x / 2, c.frameH / 2, ch), 20) << "right bar"; }
            if (c.y > 0) { EXPECT_LE(at(c.frameW / 2, c.y / 2, ch), 20) << "top bar"; }
        }
        EXPECT_NEAR(at(c.x + 4, c.y + 4), 0xC0, 8) << "the slide's corner";
        for (int ch = 0; ch < 3; ++ch)  // the far corner in every channel: each plane in its place
            EXPECT_NEAR(at(c.frameW - c.x - 5, c.frameH - c.y - 5, ch), 0xC04040 >> (16 - 8 * ch) & 255, 10);
    }
    // A slide that cannot be read is told once, with its reason, and a white frame stands in.
    // Next on the last slide (the same slide again) is no change: no key frame, no chapter.
    ScratchDir dir;
    const std::string gone = dir.file("gone.png");
    Mp4Job job{.outputPath = dir.file("x.mp4"), .changes = {{0, gone}, {9, gone}}, .endSample = 44100};
    const Mp4Result r = writeMp4(job);
    ASSERT_EQ(r.problems.size(), 1u) << r.error;
    EXPECT_NE(r.problems[0].find(gone + ": "), std::string::npos) << r.problems[0];
    // Its chapter takes its place in the lecture as its title, the name having no number.
    EXPECT_EQ(values(run("ffprobe -v error -of compact=p=0 -show_entries chapter_tags=title '" +
                         job.outputPath + "'"), "tag:title"), std::vector<std::string>{"スライド 1"});
}

// Slides of any shape land inside the frame on even rows and columns, the chroma's grid; a sliver
// keeps its shape, a slide of no known size fills the frame.
TEST(WebVideo, SlidesOfAnyShapeFitTheFrameOnTheChromaGrid) {
    const struct {
        int w, h;
        Placement want;
    } cases[] = {{1920, 1, {0, 358, 1280, 2}}, {1, 1080, {638, 0, 2, 720}},
                 {1366, 768, {0, 0, 1280, 720}}, {0, 768, {0, 0, 1280, 720}},
                 {1024, -1, {0, 0, 1280, 720}}};
    for (const auto& c : cases) {
        const Placement p = fitInside(c.w, c.h, 1280, 720);
        EXPECT_EQ(std::vector<int>({p.x, p.y, p.width, p.height}),
                  std::vector<int>({c.want.x, c.want.y, c.want.width, c.want.height}))
            << c.w << " x " << c.h;
    }
}

TEST(WebVideo, SoundIsAtTheTargetLevelUnderTheTruePeakLimit) {
    const struct {
        double volume;
        bool wideBeside;  // the speech in the 16-bit narration, silence in the 8-bit one
    } cases[] = {{0.1, false}, {1.0, false}, {0.03, true}};
    for (const auto& c : cases) {
        ScratchDir dir;
        const std::string narration = dir.file("vx_temp_1_2.wav");
        if (c.wideBeside) testing::writeNarration(narration, testing::Bytes(30 * 44100, 128));
        ASSERT_TRUE(writeSpeech(c.wideBeside ? dir.file("vx_temp_1_2.s16.wav") : narration, 30, c.volume,
                                c.wideBeside ? 16 : 8));
        const Mp4Result r = writeVideo(dir, narration, 30, 1280, 720, {{0, 0x808080}, {441000, 0x4060D0}});
        ASSERT_TRUE(r.ok) << r.error;
        const auto [loudness, peak] = testing::levels(dir.file("lecture.mp4"));
        EXPECT_NEAR(loudness, -16.0, 1.0) << c.volume;
        EXPECT_LE(peak, -1.0) << c.volume;  // true peak, dBTP
        EXPECT_LE(std::filesystem::file_size(dir.file("lecture.mp4")) * 2, 1'000'000u) << "a minute";
    }
}

// The sound is coded in pieces of about a minute, cut where the joint of two frames is silent: at
// the end of four silent frames, not beside a click among silent ones.
TEST(WebVideo, SoundIsCutWhereTheJointIsSilent) {
    ScratchDir dir;
    testing::Bytes samples = testing::noise(100 * 44100);
    for (std::uint8_t& s : samples) s = static_cast<std::uint8_t>(96 + s / 4);
    const auto at = [&](std::int64_t frame) { return samples.begin() + frame * 1024 * 44100 / 48000; };
    for (const int last : {2200, 2400}) std::fill(at(last - 3) - 2, at(last + 1) + 2, 128);
    std::fill(at(2198) + 20, at(2199) - 20, 255);
    testing::writeNarration(dir.file("n.wav"), samples);
    WebAudioEncoder audio;
    ASSERT_TRUE(audio.prepare(dir.file("n.wav"), 1)) << audio.error();
    ASSERT_EQ(audio.pieceCount(), 2u);
    EXPECT_EQ(audio.pieceStart(1), 2400);
}

// Reports the duration, the chapter cues, a pixel of the third slide, and the end reached.
constexpr const char* kPage = R"(<!doctype html><html><body>
<video id="v" src="lecture.mp4" preload="auto" muted>
  <track id="t" kind="chapters" src="lecture.chapters.vtt" default></video>
<canvas id="c"></canvas><pre id="result">pending</pre>
<script>
const v = document.getElementById('v'), t = document.getElementById('t'), out = {};
const once = (el, ev) => new Promise(r => el.addEventListener(ev, r, {once: true}));
async function seek(to) { const s = once(v, 'seeked'); v.currentTime = to; await s; }
async function run() {
  if (v.readyState < 1) await once(v, 'loadedmetadata');
  out.canPlay = v.canPlayType('video/mp4; codecs="avc1.640028, mp4a.40.2"');
  out.duration = v.duration;
  t.track.mode = 'hidden';
  if (t.readyState !== 2) await once(t, 'load');
  out.cues = Array.from(t.track.cues).map(c => [c.startTime, c.text]);
  await seek(4.8);  // inside the third slide
  if (v.readyState < 2) await once(v, 'canplay');
  const c = document.getElementById('c'), g = c.getContext('2d');
  c.width = v.videoWidth; c.height = v.videoHeight;
  g.drawImage(v, 0, 0);
  out.pixel = Array.from(g.getImageData(40, 40, 1, 1).data).slice(0, 3);
  await seek(v.duration);  // playback stands still under virtual time; a seek reaches the end
  out.ended = v.ended;
}
run().catch(e => { out.error = String(e) + (v.error ? ' ' + v.error.message : ''); }).finally(() => {
  document.getElementById('result').textContent = 'RESULT' + JSON.stringify(out) + 'END'; });
</script></body></html>)";

TEST(WebVideo, ChromiumPlaysSeeksAndReadsTheChapters) {
    if (!std::filesystem::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
    ScratchDir dir;
    ASSERT_TRUE(writeSpeech(dir.file("n.wav"), 9.0, 0.5));
    const Mp4Result r = writeVideo(dir, dir.file("n.wav"), 9.0, 1600, 900,  // 0, 2, 3.6, 6.3 s
                                   {{0, 0xE02020}, {88200, 0x20C020}, {158760, 0x2040E0}, {277830, 0xE0E020}});
    ASSERT_TRUE(r.ok) << r.error;
    testing::writeFile(dir.file("page.html"), std::string(kPage));
    // On a loaded machine the page can miss its time budget (the video's loading is real time):
    // then the result is not in the page yet, and the browser is asked again.
    std::string result, dom;
    for (int attempt = 0; attempt < 3 && result.empty(); ++attempt) {
        dom = run("timeout 60 /usr/bin/chromium --headless=new --no-sandbox --disable-gpu "
                  "--mute-audio --allow-file-access-from-files --user-data-dir='" +
                  dir.file("profile" + std::to_string(attempt)) +
                  "' --virtual-time-budget=60000 --dump-dom 'file://" + dir.file("page.html") +
                  "' 2>/dev/null");
        std::smatch m;
        if (std::regex_search(dom, m, std::regex("RESULT(\\{.*\\})END"))) result = m[1];
    }
    ASSERT_FALSE(result.empty()) << dom.substr(0, 2000);
    EXPECT_EQ(result.find("error"), std::string::npos) << result;
    EXPECT_NE(result.find("\"canPlay\":\"probably\""), std::string::npos) << result;
    EXPECT_NEAR(std::stod(values(result, "\"duration\"").at(0)), 9.0, 0.25) << result;
    EXPECT_NE(result.find("\"cues\":[[0,\"スライド 1\"],[2,\"スライド 2\"],[3.6,\"スライド 3\"],"
                          "[6.3,\"スライド 4\"]]"), std::string::npos) << result;
    std::smatch px;  // the third slide's own colour on screen
    ASSERT_TRUE(std::regex_search(result, px, std::regex(R"("pixel":\[(\d+),(\d+),(\d+)\])"))) << result;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(std::stoi(px[i + 1]), (0x2040E0 >> (16 - 8 * i)) & 255, 16) << i;
    EXPECT_NE(result.find("\"ended\":true"), std::string::npos) << result;
}

}  // namespace
}  // namespace vorlix
