#include "common/temp_path.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vorlix {
namespace {

constexpr std::string_view kTempReference = "%TEMP%";

bool startsWithTempReference(std::string_view name) {
    if (name.size() < kTempReference.size()) return false;
    for (std::size_t i = 0; i < kTempReference.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kTempReference[i]) return false;
    }
    return true;
}

bool isSeparator(char c) {
    return c == '/' || c == static_cast<char>(std::filesystem::path::preferred_separator);
}

}  // namespace

std::optional<std::string> processEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string tempFolder(const EnvLookup& env) {
    if (auto temp = env("TEMP"); temp && !temp->empty()) return *temp;
    if (auto data = env("XDG_DATA_HOME"); data && !data->empty() && data->front() == '/') {
        return (std::filesystem::path(*data) / "vorlix" / "lectures").string();
    }
    if (auto home = env("HOME"); home && !home->empty()) {
        return (std::filesystem::path(*home) / ".local" / "share" / "vorlix" / "lectures").string();
    }
    std::error_code ec;
    auto system = std::filesystem::temp_directory_path(ec);
    if (!ec && !system.empty()) return system.string();
    return "/tmp";
}

std::string expandTempName(std::string_view name, const EnvLookup& env) {
    if (!startsWithTempReference(name)) return std::string(name);
    std::string folder = tempFolder(env);
    std::string_view rest = name.substr(kTempReference.size());
    while (!rest.empty() && isSeparator(rest.front())) rest.remove_prefix(1);
    if (!folder.empty() && !isSeparator(folder.back())) {
        folder += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return folder + std::string(rest);
}

std::string lectureTempName(std::string_view prefix, std::int64_t time, std::uint32_t clockThreadId,
                            std::string_view extension) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%lld_%08lx", static_cast<long long>(time),
                  static_cast<unsigned long>(clockThreadId));
    std::string name(kTempReference);
    name += '/';
    name += prefix;
    name += stamp;
    name += extension;
    std::error_code ec;
    std::filesystem::create_directories(tempFolder(), ec);  // a failure shows when the file is made
    return expandTempName(name);
}

}  // namespace vorlix
