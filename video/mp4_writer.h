// The lecture as a web video: an MP4 (H.264 High profile, yuv420p; AAC-LC 48 kHz mono) with its
// index first, so a browser starts playing at once; one key frame at each slide change and no
// frames in between; the frame in the slides' own shape; a chapter per change, inside the MP4 and
// as WebVTT beside it; the sound at one level for the whole lecture (see web_audio.h).
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lecture/timeline_journal.h"

namespace vorlix {

// Slide changes are placed in samples of the 44.1 kHz narration; a half-second tick is 22050.
inline constexpr std::int64_t kChangeRate = 44100;
inline constexpr std::int64_t kSamplesPerTick = kChangeRate / 2;

struct SlideChange {
    std::int64_t sample = 0;  // narration sample at which the slide went on screen
    std::string slidePath;
};

// Every member has its default, so a job names only the ones it sets.
struct Mp4Job {
    std::string outputPath = {};
    std::vector<SlideChange> changes = {};  // in time order; the first is shown from the start
    std::int64_t endSample = 0;             // End, in narration samples
    std::string narrationPath = {};         // empty: a video without sound
    unsigned threads = 0;                   // 0: every core
    // 0 to 1, called on the calling thread about ten times a second.
    std::function<void(double)> progress = {};
};

struct Mp4Result {
    bool ok = false;
    std::string error;  // names the file and the reason
    std::string chaptersPath;
    int width = 0;
    int height = 0;
    double loudnessLufs = 0;  // the narration as recorded
    double gainDb = 0;
    std::size_t limitedSamples = 0;
    // Written, but not as recorded: each slide that could not be read (a white frame stands in).
    std::vector<std::string> problems;
};

// The slide changes a journal recorded, at their narration samples, into the job, and the
// lecture's end: the journal's end record, or the last change taken when there is none or when
// `maxLines` (the end counted as a line, as in a timeline) leaves it out.
void takeJournalChanges(Mp4Job& job, const Journal& journal, std::int32_t maxLines = INT32_MAX);

// Writes the MP4 and its chapters file. The files appear whole or not at all: an earlier file of
// the same name stays untouched when writing fails.
Mp4Result writeMp4(const Mp4Job& job);

struct Size {
    int width = 0;
    int height = 0;
};
// 1280 x 720 for slides wider than 4:3, 960 x 720 otherwise.
Size webFrameSize(int slideWidth, int slideHeight);

struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
};
// The slide scaled to fit inside the frame, its shape kept, centred (black bars fill the rest);
// even sizes and offsets, so the colour planes line up.
Placement fitInside(int slideWidth, int slideHeight, int frameWidth, int frameHeight);

}  // namespace vorlix
