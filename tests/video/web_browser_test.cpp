// A real browser plays the web video: headless Chromium opens a page with the MP4 and its chapters
// track, seeks into the third slide and to the end, and writes what it saw into the page.
// Skipped where Chromium is not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/web_video.h"
#include "video/mp4_writer.h"

namespace vorlix {
namespace {

std::optional<std::string> chromium() {
    for (const char* p :
         {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"})
        if (std::filesystem::exists(p)) return std::string(p);
    return std::nullopt;
}

// Reports the duration, the chapter cues, a pixel of the third slide, and the end reached.
constexpr const char* kPage = R"(<!doctype html>
<html><body>
<video id="v" src="lecture.mp4" preload="auto" muted>
  <track id="t" kind="chapters" src="lecture.chapters.vtt" default>
</video>
<canvas id="c"></canvas>
<pre id="result">pending</pre>
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
  out.cues = Array.from(t.track.cues).map(c => [c.startTime, c.endTime, c.text]);
  await seek(THIRD);
  if (v.readyState < 2) await once(v, 'canplay');
  const c = document.getElementById('c');
  c.width = v.videoWidth; c.height = v.videoHeight;
  const g = c.getContext('2d');
  g.drawImage(v, 0, 0);
  out.pixel = Array.from(g.getImageData(40, 40, 1, 1).data).slice(0, 3);
  // Playback stands still under virtual time; a seek to the end reaches it all the same.
  await seek(v.duration);
  out.ended = v.ended;
  out.endTime = v.currentTime;
}
run().catch(e => { out.error = String(e) + (v.error ? ' ' + v.error.message : ''); })
     .finally(() => { document.getElementById('result').textContent = 'RESULT' + JSON.stringify(out) + 'END'; });
</script>
</body></html>
)";

TEST(WebBrowser, PlaysSeeksAndShowsTheChaptersOfTheMp4) {
    const std::optional<std::string> browser = chromium();
    if (!browser) GTEST_SKIP() << "chromium is not installed";
    testing::ScratchDir dir;
    const double seconds = 9.0;
    ASSERT_TRUE(testing::writeSpeech(dir.file("n.wav"), seconds, 0.5));
    const std::uint32_t colours[] = {0xE02020, 0x20C020, 0x2040E0, 0xE0E020};
    const std::int64_t changes[] = {0, 88200, 158760, 277830};  // 0, 2, 3.6, 6.3 s
    Mp4Job job{.outputPath = dir.file("lecture.mp4"),
               .endSample = static_cast<std::int64_t>(seconds * kChangeRate),
               .narrationPath = dir.file("n.wav")};
    for (int i = 0; i < 4; ++i) {
        const std::string slide = dir.file("スライド" + std::to_string(i + 1) + ".bmp");
        testing::writeSlide(slide, 1600, 900, colours[i]);
        job.changes.push_back({changes[i], slide});
    }
    const Mp4Result r = writeMp4(job);
    ASSERT_TRUE(r.ok) << r.error;
    std::string page = kPage;
    page.replace(page.find("THIRD"), 5, "4.8");  // inside the third slide
    testing::writeFile(dir.file("page.html"), std::vector<std::uint8_t>(page.begin(), page.end()));

    const std::string dom = testing::runCommand(
        "timeout 60 '" + *browser +
        "' --headless=new --no-sandbox --disable-gpu --mute-audio "
        "--autoplay-policy=no-user-gesture-required"
        " --allow-file-access-from-files --user-data-dir='" +
        dir.file("profile") + "' --virtual-time-budget=20000 --dump-dom 'file://" +
        dir.file("page.html") + "' 2>/dev/null");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(dom, m, std::regex("<pre id=\"result\">RESULT(.*)END</pre>")))
        << dom.substr(0, 2000);
    const std::string result = m[1];
    SCOPED_TRACE(result);
    EXPECT_EQ(result.find("\"error\""), std::string::npos);
    EXPECT_NE(result.find("\"canPlay\":\"probably\""), std::string::npos);
    std::smatch d;
    ASSERT_TRUE(std::regex_search(result, d, std::regex(R"("duration":([\d.]+))")));
    EXPECT_NEAR(std::stod(d[1]), seconds, 0.25);
    // One cue per change, at the change, titled with the slide's number.
    const std::regex cue(R"re(\[([\d.]+),([\d.]+),"スライド (\d)"\])re");
    int n = 0;
    for (auto it = std::sregex_iterator(result.begin(), result.end(), cue);
         it != std::sregex_iterator(); ++it, ++n) {
        ASSERT_LT(n, 4);
        EXPECT_NEAR(std::stod((*it)[1]), static_cast<double>(changes[n]) / kChangeRate, 0.002);
        EXPECT_EQ(std::stoi((*it)[3]), n + 1);
    }
    EXPECT_EQ(n, 4);
    // The third slide's own colour on screen.
    std::smatch px;
    ASSERT_TRUE(std::regex_search(result, px, std::regex(R"("pixel":\[(\d+),(\d+),(\d+)\])")));
    EXPECT_NEAR(std::stoi(px[1]), 0x20, 16);
    EXPECT_NEAR(std::stoi(px[2]), 0x40, 16);
    EXPECT_NEAR(std::stoi(px[3]), 0xE0, 16);
    EXPECT_NE(result.find("\"ended\":true"), std::string::npos);
}

}  // namespace
}  // namespace vorlix
