#include "common/temp_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace vorlix {

// The folder from TEMP, then the data folder (XDG_DATA_HOME when absolute, else HOME's); a
// leading %TEMP% in a name expanded.
TEST(TempPath, FolderAndExpandedNames) {
    const auto env = [](std::map<std::string, std::string> vars) {
        return [vars](const char* name) -> std::optional<std::string> {
            return vars.contains(name) ? std::optional(vars.at(name)) : std::nullopt;
        };
    };
    EXPECT_EQ(tempFolder(env({{"TEMP", "/t"}, {"XDG_DATA_HOME", "/d"}})), "/t");
    EXPECT_EQ(tempFolder(env({{"TEMP", ""}, {"XDG_DATA_HOME", "/d"}})), "/d/vorlix/lectures");
    EXPECT_EQ(tempFolder(env({{"XDG_DATA_HOME", "d"}, {"HOME", "/h"}})),
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
