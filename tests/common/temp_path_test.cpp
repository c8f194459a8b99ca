#include "common/temp_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace vorlix {
namespace {

EnvLookup envOf(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
}

TEST(TempPath, FolderComesFromTempThenTheDataFolderThenTheSystem) {
    const std::string system = std::filesystem::temp_directory_path().string();
    struct Case {
        std::map<std::string, std::string> env;
        std::string folder;
    } cases[] = {
        {{{"TEMP", "/data/t"}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}}, "/data/t"},
        {{{"TEMP", "/with blank/テンポ"}}, "/with blank/テンポ"},
        {{{"TEMP", ""}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}}, "/x/vorlix/lectures"},
        {{{"XDG_DATA_HOME", "relative"}, {"HOME", "/h"}}, "/h/.local/share/vorlix/lectures"},
        {{{"TMPDIR", "/var/tmp"}, {"HOME", "/h"}}, "/h/.local/share/vorlix/lectures"},
        {{}, system},
    };
    for (const auto& c : cases) EXPECT_EQ(tempFolder(envOf(c.env)), c.folder);
}

TEST(TempPath, LeadingTempReferenceIsExpandedWithOneSeparator) {
    struct Case {
        std::string name;
        std::string temp;
        std::string expanded;
    } cases[] = {
        {"%TEMP%/vx_1_00000001.tmp", "/t", "/t/vx_1_00000001.tmp"},
        {"%TEMP%/vx_1_00000001.tmp", "/t/", "/t/vx_1_00000001.tmp"},
        {"%temp%/a.wav", "/t", "/t/a.wav"},
        {"%TEMP%a.wav", "/t", "/t/a.wav"},
        {"vx_1_00000001.tmp", "/t", "vx_1_00000001.tmp"},
        {"%TEMP", "/t", "%TEMP"},
        {"x%TEMP%/a", "/t", "x%TEMP%/a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(expandTempName(c.name, envOf({{"TEMP", c.temp}})), c.expanded) << c.name;
    }
}

}  // namespace
}  // namespace vorlix
