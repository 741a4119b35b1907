#include "tests/support/TempDir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>
#include <vector>

namespace tarvo::testsupport {

namespace {

// mkdtemp replaces these six characters to make the name unique.
constexpr std::string_view kUniqueSuffix = "-XXXXXX";

std::filesystem::path MakeUniqueFolder(std::string_view prefix) {
    const std::string pattern =
        (std::filesystem::temp_directory_path() / prefix).string() + std::string(kUniqueSuffix);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    return name.data();
}

}  // namespace

TempDir::TempDir(std::string_view prefix) : m_path(MakeUniqueFolder(prefix)) {}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path))
        names.push_back(entry.path().filename().string());
    return names;
}

}  // namespace tarvo::testsupport
