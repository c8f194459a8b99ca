#include "common/temp_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace vorlix {
namespace {

EnvLookup envOf(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
}

// The folder from TEMP, then TMPDIR, then the system's; a leading %TEMP% in a name expanded.
TEST(TempPath, FolderAndExpandedNames) {
    EXPECT_EQ(tempFolder(envOf({{"TEMP", "/t"}, {"TMPDIR", "/o"}})), "/t");
    EXPECT_EQ(tempFolder(envOf({{"TEMP", ""}, {"TMPDIR", "/var/tmp"}})), "/var/tmp");
    EXPECT_EQ(tempFolder(envOf({})), std::filesystem::temp_directory_path().string());
    const std::pair<std::string, std::string> names[] = {
        {"%TEMP%/a.tmp", "/t/a.tmp"}, {"%temp%a.wav", "/t/a.wav"}, {"a.tmp", "a.tmp"},
        {"%TEMP", "%TEMP"},           {"x%TEMP%/a", "x%TEMP%/a"}};
    for (const auto& [name, expanded] : names) {
        EXPECT_EQ(expandTempName(name, envOf({{"TEMP", "/t/"}})), expanded) << name;
        EXPECT_EQ(expandTempName(name, envOf({{"TEMP", "/t"}})), expanded) << name;
    }
}

}  // namespace
}  // namespace vorlix
