// Strings between the host's conventions and the system's: paths written with either
// separator, and the host's wide characters against UTF-8.
#pragma once

#include <string>

namespace tarvo::host {
// The native form of a path that may use either separator.
std::string NativePath(const std::string& path);
// UTF-8 and the host's wide characters.
std::wstring WidenUtf8(const std::string& text);
std::string NarrowUtf8(const std::wstring& text);
}  // namespace tarvo::host
