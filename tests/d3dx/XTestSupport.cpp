#include "XTestSupport.h"

#include "tests/support/TestFiles.h"

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

StandardFile::StandardFile() {
    EXPECT_EQ(D3DXFileCreate(&file), S_OK);
    EXPECT_EQ(RegisterStandardTemplateSets(file), S_OK);
}

StandardFile::~StandardFile() {
    if (file != nullptr) file->Release();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::string text = tarvo::testsupport::ReadText(path);
    return {text.begin(), text.end()};
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

void PayloadReader::Fail() {
    ADD_FAILURE() << "payload too short at byte " << m_offset;
    m_offset = m_bytes.size();
}

namespace {

void Collect(const d3dx::XDataObject& root, const std::string& templateName,
             std::vector<const d3dx::XDataObject*>& found) {
    d3dx::WalkDataTree(
        root,
        [&](const d3dx::XDataObject& object, std::size_t) {
            if (object.templateName == templateName) found.push_back(&object);
        },
        [](const d3dx::XChild&, std::size_t) {}, [](const d3dx::XDataObject&, std::size_t) {});
}

}  // namespace

std::vector<const d3dx::XDataObject*> FindAll(const d3dx::XFileContents& contents,
                                              const std::string& templateName) {
    std::vector<const d3dx::XDataObject*> found;
    for (const auto& object : contents.objects) Collect(object, templateName, found);
    return found;
}

std::vector<const d3dx::XDataObject*> FindAllIn(const d3dx::XDataObject& object,
                                                const std::string& templateName) {
    std::vector<const d3dx::XDataObject*> found;
    Collect(object, templateName, found);
    return found;
}

std::vector<std::string> ReferencesOf(const d3dx::XDataObject& object) {
    std::vector<std::string> names;
    for (const auto& child : object.children)
        if (child.IsReference()) names.push_back(child.referenceName);
    return names;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace xtest
