// Files as tests see them: any file's text, and the switch that rewrites golden files.
#pragma once

#include <filesystem>
#include <string>

namespace tarvo::testsupport {

// The whole file, byte for byte; empty when it cannot be read, so a missing file shows up
// as a difference in the comparison that reads it.
std::string ReadText(const std::filesystem::path& file);

// True exactly when TARVO_UPDATE_GOLDENS is "1": golden files are then written from the
// results instead of compared with them. Read the diff before committing them.
bool UpdateGoldens();

}  // namespace tarvo::testsupport
