#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

namespace tarvo::testsupport {

namespace {

constexpr const char* kUpdateGoldensVariable = "TARVO_UPDATE_GOLDENS";

}  // namespace

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UpdateGoldens() {
    const char* value = std::getenv(kUpdateGoldensVariable);
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace tarvo::testsupport
