// Files read without ever blocking, and outputs that never destroy an input or a finished file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/regular_file.h"
#include "common/safe_output.h"
#include "lecture/timeline_journal.h"
#include "lecture/timeline_reader.h"
#include "support/scratch_dir.h"
#include "video/audio_source.h"
#include "video/slide_bitmap.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

TEST(FileSafety, EveryReaderRefusesWhatIsNotARegularFileWithoutWaiting) {
    ScratchDir dir;
    const std::string fifo = dir.file("fifo"), folder = dir.file("folder"), gone = dir.file("gone");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
    const std::function<bool(const std::string&)> readers[] = {
        [](const std::string& p) { return openRegularFile(p) >= 0; },
        [](const std::string& p) { return SlideBitmap::readFile(p).has_value(); },
        [](const std::string& p) { return AudioSource().open(p); },
        [](const std::string& p) { return TimelineReader().open(p); },
        [](const std::string& p) { return TimelineJournal::read(p).has_value(); },
    };
    for (const std::string& path : {fifo, folder, gone}) {
        for (const auto& read : readers) EXPECT_FALSE(read(path)) << path;
        std::string reason;
        EXPECT_EQ(openRegularFile(path, &reason), -1);
        EXPECT_EQ(reason, path == fifo     ? "not a regular file"
                          : path == folder ? systemReason(EISDIR)
                                           : systemReason(ENOENT));
    }
}

TEST(FileSafety, AnOutputIsRefusedWhenItIsAnInputAndReplacesTheOldFileOnlyWhenComplete) {
    ScratchDir dir;
    const std::string input = dir.file("narration.wav"), old = dir.file("old.avi");
    testing::writeText(input, "the narration");
    testing::writeText(old, "the video already there");
    fs::create_symlink(input, dir.file("link.avi"));
    fs::create_hard_link(input, dir.file("hard.avi"));
    fs::create_symlink(old, dir.file("to-old.avi"));

    for (const char* name : {"narration.wav", "link.avi", "hard.avi"}) {
        SafeOutput out;
        std::string reason;
        EXPECT_FALSE(out.begin(dir.file(name), {dir.file("other"), input}, reason)) << name;
        EXPECT_NE(reason.find(input), std::string::npos) << reason;
        EXPECT_TRUE(out.tempPath().empty());
    }
    EXPECT_EQ(testing::readText(input), "the narration");

    {  // abandoned half-way: the old file stays, the temporary one goes
        SafeOutput out;
        std::string reason;
        ASSERT_TRUE(out.begin(old, {input}, reason)) << reason;
        EXPECT_EQ(fs::path(out.tempPath()).parent_path(), dir.path());
        testing::writeText(out.tempPath(), "half a video");
    }
    EXPECT_EQ(testing::readText(old), "the video already there");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);

    // Through a link: the file it points to is replaced and the link stays a link.
    SafeOutput out;
    std::string reason;
    ASSERT_TRUE(out.begin(dir.file("to-old.avi"), {input}, reason)) << reason;
    testing::writeText(out.tempPath(), "the new video");
    ASSERT_TRUE(out.commit(reason)) << reason;
    EXPECT_TRUE(fs::is_symlink(dir.file("to-old.avi")));
    EXPECT_EQ(testing::readText(old), "the new video");
}

}  // namespace
}  // namespace vorlix
