// A folder of its own for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::testsupport {

class TempDir {
  public:
    // A new, empty folder in the system's temporary directory whose name starts with
    // `prefix`; throws std::runtime_error when none can be made.
    explicit TempDir(std::string_view prefix = "tarvo-test");
    // Removes the folder, first giving back the owner's permissions that a test may have
    // taken away.
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The path of `name` inside the folder.
    std::string File(std::string_view name) const { return (m_path / name).string(); }
    // The names of what the folder holds, in no particular order.
    std::vector<std::string> Entries() const;

  private:
    std::filesystem::path m_path;
};

}  // namespace tarvo::testsupport
