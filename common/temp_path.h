// Where a lecture's files go. Names start with "%TEMP%", as the program has always formed them;
// the folder comes from TEMP as written, else the user's data folder
// ($XDG_DATA_HOME/vorlix/lectures, by default ~/.local/share/vorlix/lectures), which survives a
// reboot, so a lecture left by a crash can still be made into its video.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

// Looks an environment variable up; nothing when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

// The process environment.
std::optional<std::string> processEnv(const char* name);

// The lecture folder: TEMP when set and not empty, else the data folder above (XDG_DATA_HOME
// only when absolute, else HOME's .local/share), else the system's temp folder.
std::string tempFolder(const EnvLookup& env = processEnv);

// Replaces a leading "%TEMP%" (any letter case) by the temp folder, joined to the rest with one
// separator. A name without it is returned unchanged (a name relative to the current folder).
std::string expandTempName(std::string_view name, const EnvLookup& env = processEnv);

// A lecture's temporary file: "<prefix><time>_<clock thread id as 8 hex digits><extension>" in
// the lecture folder, which is created when missing.
std::string lectureTempName(std::string_view prefix, std::int64_t time, std::uint32_t clockThreadId,
                            std::string_view extension);

}  // namespace vorlix
