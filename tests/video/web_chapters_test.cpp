// Chapter titles follow the slide files' own numbers; times and the file beside the video are
// what web players read.
#include "video/web_chapters.h"

#include <gtest/gtest.h>

namespace vorlix {
namespace {

TEST(WebChapters, TitlesTimesAndFile) {
    const std::tuple<std::string, int, std::string> titles[] = {
        // slide file, its place in the lecture, the chapter's title
        {"/講義/スライド12.PNG", 3, "スライド 12"},
        {"/d/deck.007.jpeg", 2, "スライド 7"},
        {"/d/Slide3", 9, "スライド 3"},
        {"/d/intro.png", 4, "スライド 4"},     // no number of its own: its place
        {"/d/99/cover.png", 5, "スライド 5"},  // a number in the folder is not the slide's
        {"/d/s1234567890.png", 6, "スライド 6"},
        {"/d/s000.png", 1, "スライド 0"},
    };
    for (const auto& [path, ordinal, title] : titles) EXPECT_EQ(chapterTitle(path, ordinal), title) << path;
    EXPECT_EQ(chaptersPathFor("/v/第1回.MP4"), "/v/第1回.chapters.vtt");
    EXPECT_EQ(webVttChapters({{0, 61.5, "スライド 1"}, {61.5, 3600, "2"}, {3600, 3725.4567, "3"}}),
              "WEBVTT\n\n1\n00:00:00.000 --> 00:01:01.500\nスライド 1\n\n"
              "2\n00:01:01.500 --> 01:00:00.000\n2\n\n3\n01:00:00.000 --> 01:02:05.457\n3\n");
}

}  // namespace
}  // namespace vorlix
