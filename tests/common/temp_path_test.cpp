#include "common/temp_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace vorlix {

// The folder from TEMP, then the XDG data folder (absolute only), then HOME's, then the
// system's; a leading %TEMP% in a name expanded.
TEST(TempPath, FolderAndExpandedNames) {
    const auto env = [](std::map<std::string, std::string> vars) {
        return [vars](const char* name) -> std::optional<std::string> {
            return vars.contains(name) ? std::optional(vars.at(name)) : std::nullopt;
        };
    };
    EXPECT_EQ(tempFolder(env({{"TEMP", "/t"}, {"TMPDIR", "/o"}})), "/t");
    EXPECT_EQ(tempFolder(env({{"TEMP", ""}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}})),
              "/x/vorlix/lectures");
    EXPECT_EQ(tempFolder(env({{"XDG_DATA_HOME", "rel"}, {"TMPDIR", "/o"}, {"HOME", "/h"}})),
              "/h/.local/share/vorlix/lectures");
    EXPECT_EQ(tempFolder(env({})), std::filesystem::temp_directory_path().string());
    for (const auto& [name, expanded] :
         std::map<std::string, std::string>{{"%TEMP%/a", "/t/a"},
                                            {"%temp%a", "/t/a"},
                                            {"a", "a"},
                                            {"%TEMP", "%TEMP"},
                                            {"x%TEMP%", "x%TEMP%"}}) {
        EXPECT_EQ(expandTempName(name, env({{"TEMP", "/t/"}})), expanded) << name;
        EXPECT_EQ(expandTempName(name, env({{"TEMP", "/t"}})), expanded) << name;
    }
}

}  // namespace vorlix
