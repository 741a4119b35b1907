#include "XTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace xtest {

const FormatCase kAllFormats[3] = {
    {"text", D3DXF_FILEFORMAT_TEXT},
    {"binary", D3DXF_FILEFORMAT_BINARY},
    {"compressed", D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED},
};

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-d3dx-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = name.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> ScratchDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

StandardFile::StandardFile() {
    EXPECT_EQ(D3DXFileCreate(&file), S_OK);
    EXPECT_EQ(RegisterStandardTemplateSets(file), S_OK);
}

StandardFile::~StandardFile() {
    if (file != nullptr) file->Release();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

d3dx::XFileContents ReadBack(const std::string& path) {
    return ReadBackWith(path, d3dx::StandardTemplates());
}

d3dx::XFileContents ReadBackWith(const std::string& path,
                                 const d3dx::XTemplateRegistry& registered) {
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    HRESULT hr = d3dx::ReadXFile(path, registered, contents, &error);
    EXPECT_EQ(hr, S_OK) << error.message;
    return contents;
}

std::vector<KnownTemplates> ReaderTemplateChoices() {
    std::vector<KnownTemplates> choices;
    choices.push_back({"all standard sets", d3dx::StandardTemplates()});
    KnownTemplates d3drm{"D3DRM set only", {}};
    EXPECT_EQ(d3dx::RegisterTemplateBlock({D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES}, d3drm.registry,
                                          nullptr),
              S_OK);
    choices.push_back(std::move(d3drm));
    choices.push_back({"no templates", {}});
    return choices;
}

HRESULT AddTo(ID3DXFileSaveData* parent, const GUID& tmpl, const char* name,
              const d3dx::XPayloadWriter& payload, ID3DXFileSaveData** child) {
    return parent->AddDataObject(tmpl, name, nullptr, payload.Size(),
                                 payload.Size() ? payload.Data() : nullptr, child);
}

HRESULT AddTo(ID3DXFileSaveObject* parent, const GUID& tmpl, const char* name,
              const d3dx::XPayloadWriter& payload, ID3DXFileSaveData** child) {
    return parent->AddDataObject(tmpl, name, nullptr, payload.Size(),
                                 payload.Size() ? payload.Data() : nullptr, child);
}

}  // namespace xtest
