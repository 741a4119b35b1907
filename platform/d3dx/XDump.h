// A readable dump of a .X file's data objects: each object with its template, name,
// members by name and children; as indented text or as JSON.
#pragma once

#include <string>

#include "platform/d3dx/XDataTree.h"

namespace d3dx {

std::string DumpText(const XFileContents& contents);
std::string DumpJson(const XFileContents& contents);

}  // namespace d3dx
