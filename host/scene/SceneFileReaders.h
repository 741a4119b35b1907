// The two ways ParseScene reads scene text, apart, so that they can be held against each
// other. ParseScene tries the streaming reader first and falls back on the document reader
// whenever the streaming one is in doubt; only the document reader explains a refusal.
#pragma once

#include <optional>
#include <string>

#include "platform/max/SceneData.h"

namespace tarvo::scenefile {

// Reads the text through a whole document tree; throws SceneFileError for any problem.
scene::SceneData ParseSceneDocument(const std::string& text, const std::string& fileName,
                                    const std::string& baseDirectory = "");

// Reads the text in one pass without a tree for its meshes; nothing when the text has a
// problem or anything this reader does not check itself.
std::optional<scene::SceneData> ParseSceneStreaming(const std::string& text,
                                                    const std::string& fileName,
                                                    const std::string& baseDirectory = "");

// Whether two scenes hold the same records, down to the bits of every mesh number: records
// compare -0 and +0 as equal, the exported file does not.
bool SameSceneBits(const scene::SceneData& a, const scene::SceneData& b);

}  // namespace tarvo::scenefile
