// Writing an output file so that no command destroys a file: the output is refused when it is
// one of the inputs (same device and inode, through any link), and it is written under a
// temporary name in its own folder and renamed over the final name only once complete. A
// killed or failed write leaves the final name as it was.
#pragma once

#include <string>
#include <vector>

namespace vorlix {

class SafeOutput {
  public:
    SafeOutput() = default;
    ~SafeOutput();  // discards a temporary file that was not committed
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;

    // Checks the output against the inputs, then reserves the temporary file beside it. False
    // with the reason when the output is an input or the temporary file cannot be created;
    // nothing is then written anywhere.
    bool begin(const std::string& finalPath, const std::vector<std::string>& inputs,
               std::string& reason);

    // The name to write to; empty before begin.
    const std::string& tempPath() const { return temp_; }
    // The name the file gets: the final path, or the file a link there points to.
    const std::string& finalPath() const { return final_; }

    // Renames the complete file over the final name.
    bool commit(std::string& reason);
    // Removes the temporary file.
    void discard();

    // Whether two paths name the same existing file (device and inode, links followed).
    static bool sameFile(const std::string& a, const std::string& b);

  private:
    std::string temp_;
    std::string final_;
};

}  // namespace vorlix
