#include "platform/d3dx/D3DXFile.h"

#include <cstring>
#include <new>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XImageFile.h"
#include "platform/d3dx/XPayload.h"
#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XSaveTree.h"
#include "platform/win/FileIO.h"

namespace {

// The words for this thread's last failed call, with the result they belong to.
struct LastFailure {
    HRESULT hr = S_OK;
    std::string detail;
};
thread_local LastFailure t_lastFailure;

// Called first by every call that can fail: an earlier failure's words must not outlive it.
void ForgetFailure() {
    t_lastFailure = {};
}

HRESULT FailWith(HRESULT hr, std::string detail) {
    t_lastFailure = {hr, std::move(detail)};
    return hr;
}

using d3dx::XSaveNode;
using d3dx::XSaveNodes;
using d3dx::XTemplate;
using d3dx::XTemplateRegistry;

class FileObject;

// The payload of an add: the caller's bytes, and whether the save tree may take them over
// (`adopted`, which then holds the same bytes) rather than copy them.
struct NodePayload {
    SIZE_T size = 0;
    LPCVOID data = nullptr;
    d3dx::XPayloadBytes* adopted = nullptr;
};

class SaveObject : public ID3DXFileSaveObject {
  public:
    SaveObject(FileObject& file, std::string path, bool text, bool compressed);
    ~SaveObject() override;

    HRESULT GetFile(ID3DXFile** ppFile) override;
    HRESULT AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId, SIZE_T cbSize,
                          LPCVOID pvData, ID3DXFileSaveData** ppObj) override;
    HRESULT Save() override;

    // Checks one data object and adds it to `siblings`, its payload copied or adopted;
    // `parent` is null at the top level.
    HRESULT AddNode(XSaveNodes& siblings, const XSaveNode* parent, REFGUID rguidTemplate,
                    LPCSTR szName, const GUID* pId, const NodePayload& payload,
                    ID3DXFileSaveData** ppObj);
    HRESULT AddRoot(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId,
                    const NodePayload& payload, ID3DXFileSaveData** ppObj) {
        return AddNode(m_roots, nullptr, rguidTemplate, szName, pId, payload, ppObj);
    }
    const XTemplateRegistry& Templates() const;

  private:
    std::string AddingWhat(const std::string& what, const std::string& name,
                           const XSaveNode* parent) const;
    static std::string PayloadProblem(const d3dx::XPayloadResult& measured, SIZE_T cbSize);
    static const char* WriteProblem(HRESULT hr);
    // Makes the image in the save object's form and writes it to the file; throws what the
    // writers throw.
    HRESULT WriteImage();

    FileObject& m_file;
    std::string m_path;
    bool m_text;
    bool m_compressed;
    XSaveNodes m_roots;
};

class SaveData : public ID3DXFileSaveData {
  public:
    SaveData(SaveObject& save, XSaveNode& node) : m_save(save), m_node(node) { m_save.AddRef(); }
    ~SaveData() override { m_save.Release(); }

    HRESULT AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId, SIZE_T cbSize,
                          LPCVOID pvData, ID3DXFileSaveData** ppObj) override {
        return AddChild(rguidTemplate, szName, pId, NodePayload{cbSize, pvData}, ppObj);
    }

    HRESULT AddChild(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId,
                     const NodePayload& payload, ID3DXFileSaveData** ppObj) {
        return m_save.AddNode(m_node.children, &m_node, rguidTemplate, szName, pId, payload, ppObj);
    }

    HRESULT AddDataReference(LPCSTR szName, const GUID* pId) override {
        ForgetFailure();
        if ((szName == nullptr || *szName == '\0') && pId == nullptr) {
            return FailWith(E_INVALIDARG,
                            "a reference in " + Describe() + " has neither name nor GUID");
        }
        const XTemplate& tmpl = m_save.Templates().At(m_node.templateIndex);
        if (tmpl.restriction == d3dx::XRestriction::Closed) {
            return FailWith(D3DXFERR_BADOBJECT, Describe() + " takes no references: template " +
                                                    tmpl.name + " is closed");
        }
        auto reference = std::make_unique<XSaveNode>();
        reference->isReference = true;
        reference->parent = &m_node;
        if (szName != nullptr) reference->name = szName;
        if (pId != nullptr) reference->id = *pId;
        m_node.children.push_back(std::move(reference));
        return S_OK;
    }

    HRESULT GetSave(ID3DXFileSaveObject** ppObj) override {
        if (ppObj == nullptr) return E_POINTER;
        m_save.AddRef();
        *ppObj = &m_save;
        return S_OK;
    }

    HRESULT GetName(LPSTR szName, SIZE_T* puiSize) override {
        if (puiSize == nullptr) return E_POINTER;
        SIZE_T needed = m_node.name.size() + 1;
        if (szName == nullptr) {
            *puiSize = needed;
            return S_OK;
        }
        if (*puiSize < needed) return D3DXFERR_BADVALUE;
        std::memcpy(szName, m_node.name.c_str(), needed);
        *puiSize = needed;
        return S_OK;
    }

    HRESULT GetId(GUID* pId) override {
        if (pId == nullptr) return E_POINTER;
        *pId = m_node.id.value_or(GUID_NULL);
        return S_OK;
    }

    HRESULT GetType(GUID* pType) override {
        if (pType == nullptr) return E_POINTER;
        *pType = m_save.Templates().At(m_node.templateIndex).guid;
        return S_OK;
    }

  private:
    std::string Describe() const { return d3dx::DescribeSaveNode(m_save.Templates(), m_node); }

    SaveObject& m_save;
    XSaveNode& m_node;
};

class FileObject : public ID3DXFile {
  public:
    HRESULT CreateSaveObject(LPCVOID pData, D3DXF_FILESAVEOPTIONS flags, D3DXF_FILEFORMAT format,
                             ID3DXFileSaveObject** ppSaveObj) override {
        if (ppSaveObj == nullptr || pData == nullptr) return E_POINTER;
        // Only narrow file names are taken; wide names have no meaning on this platform.
        if (flags != D3DXF_FILESAVE_TOFILE) return E_NOTIMPL;
        if ((format & ~(D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED)) != 0) {
            return E_INVALIDARG;
        }
        *ppSaveObj = new (std::nothrow) SaveObject(*this, static_cast<const char*>(pData),
                                                   (format & D3DXF_FILEFORMAT_TEXT) != 0,
                                                   (format & D3DXF_FILEFORMAT_COMPRESSED) != 0);
        return *ppSaveObj == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    HRESULT RegisterTemplates(LPCVOID pvData, SIZE_T cbSize) override {
        if (pvData == nullptr) return E_POINTER;
        std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(pvData), cbSize);
        // Parse into a copy: a failed block leaves the registry as it was.
        ForgetFailure();
        XTemplateRegistry extended = m_templates;
        d3dx::XReadError error;
        HRESULT hr = d3dx::RegisterTemplateBlock(data, extended, &error);
        if (FAILED(hr)) return FailWith(hr, "the template block does not read: " + error.message);
        m_templates = std::move(extended);
        return hr;
    }

    const XTemplateRegistry& Templates() const { return m_templates; }

  private:
    XTemplateRegistry m_templates;
};

SaveObject::SaveObject(FileObject& file, std::string path, bool text, bool compressed)
    : m_file(file), m_path(std::move(path)), m_text(text), m_compressed(compressed) {
    m_file.AddRef();
}

SaveObject::~SaveObject() {
    m_file.Release();
}

const XTemplateRegistry& SaveObject::Templates() const {
    return m_file.Templates();
}

HRESULT SaveObject::GetFile(ID3DXFile** ppFile) {
    if (ppFile == nullptr) return E_POINTER;
    m_file.AddRef();
    *ppFile = &m_file;
    return S_OK;
}

HRESULT SaveObject::AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId,
                                  SIZE_T cbSize, LPCVOID pvData, ID3DXFileSaveData** ppObj) {
    return AddRoot(rguidTemplate, szName, pId, NodePayload{cbSize, pvData}, ppObj);
}

HRESULT SaveObject::AddNode(XSaveNodes& siblings, const XSaveNode* parent, REFGUID rguidTemplate,
                            LPCSTR szName, const GUID* pId, const NodePayload& given,
                            ID3DXFileSaveData** ppObj) {
    const SIZE_T cbSize = given.size;
    const LPCVOID pvData = given.data;
    ForgetFailure();
    if (ppObj != nullptr) *ppObj = nullptr;
    const XTemplateRegistry& templates = Templates();
    const XTemplate* tmpl = templates.FindByGuid(rguidTemplate);
    std::string name = szName != nullptr ? szName : "";
    if (tmpl == nullptr) {
        return FailWith(D3DXFERR_NOTFOUND, AddingWhat("an object", name, parent) +
                                               ": no template with GUID " +
                                               FormatGuid(rguidTemplate) + " is registered");
    }
    // The words are made only for a failure: most adds succeed, and there are many.
    auto adding = [&] { return AddingWhat(tmpl->name, name, parent); };
    if (cbSize > 0 && pvData == nullptr) {
        return FailWith(E_POINTER, adding() + ": a payload of " + std::to_string(cbSize) +
                                       " bytes was given without its data");
    }
    if (parent != nullptr && !templates.At(parent->templateIndex).AllowsChild(*tmpl)) {
        return FailWith(D3DXFERR_BADOBJECT, adding() + ": template " +
                                                templates.At(parent->templateIndex).name +
                                                " does not take " + tmpl->name + " children");
    }
    std::span<const std::uint8_t> payload(static_cast<const std::uint8_t*>(pvData), cbSize);
    d3dx::XPayloadResult measured = d3dx::MeasurePayload(templates, *tmpl, payload);
    if (FAILED(measured.hr)) {
        return FailWith(measured.hr, adding() + ": " + PayloadProblem(measured, cbSize));
    }

    auto node = std::make_unique<XSaveNode>();
    node->templateIndex = static_cast<std::size_t>(tmpl - &templates.At(0));
    node->name = std::move(name);
    node->parent = parent;
    if (pId != nullptr) node->id = *pId;
    if (given.adopted == nullptr && measured.bytesUsed != 0) {
        // Sized unzeroed and copied as a block: assigning the range would copy it a byte at a
        // time, as a vector does for any allocator but the standard one.
        node->payload.resize(measured.bytesUsed);
        std::memcpy(node->payload.data(), payload.data(), measured.bytesUsed);
    }
    XSaveNode& added = *node;
    siblings.push_back(std::move(node));
    // Taken over only once nothing can fail: a failed add leaves the caller's bytes alone.
    if (given.adopted != nullptr) {
        added.payload = std::move(*given.adopted);
        added.payload.resize(measured.bytesUsed);
    }
    if (ppObj != nullptr) *ppObj = new SaveData(*this, added);
    return S_OK;
}

// "adding Mesh \"Box01\" to Frame \"Box01\"", for messages about an object not yet added.
std::string SaveObject::AddingWhat(const std::string& what, const std::string& name,
                                   const XSaveNode* parent) const {
    std::string text = "adding " + (name.empty() ? "unnamed " + what : what + " \"" + name + "\"");
    if (parent == nullptr) return text + " at the top level";
    return text + " to " + d3dx::DescribeSaveNode(Templates(), *parent);
}

std::string SaveObject::PayloadProblem(const d3dx::XPayloadResult& measured, SIZE_T cbSize) {
    std::string member = measured.failedMember != nullptr
                             ? "member '" + measured.failedMember->name + "'"
                             : "a member";
    std::string size = "the " + std::to_string(cbSize) + "-byte payload";
    switch (measured.hr) {
        case D3DXFERR_BADTYPE:
            return member + " has a type that cannot be stored";
        case D3DXFERR_BADARRAYSIZE:
            return "the array of " + member + " is larger than " + size + " can hold";
        default:
            return size + " ends inside " + member;
    }
}

HRESULT SaveObject::Save() {
    ForgetFailure();
    HRESULT hr = S_OK;
    try {
        hr = WriteImage();
    } catch (const d3dx::XUnwritableText& unwritable) {
        return FailWith(D3DXFERR_BADVALUE, unwritable.what);
    } catch (const d3dx::MsZipError& tooLarge) {
        return FailWith(D3DXFERR_BADVALUE, m_path + " cannot be compressed: " + tooLarge.what());
    } catch (const std::bad_alloc&) {
        return FailWith(E_OUTOFMEMORY, "out of memory while writing " + m_path);
    } catch (const std::logic_error& fault) {
        // A writer that broke the image's own rules (e.g. filled in bytes already
        // compressed): the save fails with the reason instead of throwing out of the
        // interface; the file layer threw the half-made file away as the fault unwound.
        return FailWith(E_FAIL, m_path + " could not be written: " + fault.what());
    }
    if (SUCCEEDED(hr)) return hr;
    std::string why = m_path + " could not be written: " + WriteProblem(hr);
    // Errors of the file layer itself are D3DX's own "file read or write failed".
    return FailWith(hr == E_FAIL ? D3DXFERR_BADFILE : hr, std::move(why));
}

HRESULT SaveObject::WriteImage() {
    const XTemplateRegistry& templates = Templates();
    // Straight into the file as it is made, compressed or not: a large mesh is never held
    // twice in memory.
    auto write = [&](d3dx::XImageSink& sink) {
        if (m_text)
            d3dx::WriteTextImage(templates, m_roots, sink);
        else
            d3dx::WriteBinaryImage(templates, m_roots, sink);
    };
    return m_compressed ? d3dx::WriteCompressedImageFile(m_path, write)
                        : d3dx::WriteImageFile(m_path, write);
}

const char* SaveObject::WriteProblem(HRESULT hr) {
    if (hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) return "its folder does not exist";
    if (hr == E_ACCESSDENIED) return "permission denied";
    if (hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL)) return "the disk is full";
    return "the system refused it";
}

}  // namespace

std::string d3dx::LastFailureDetail(HRESULT hr) {
    return t_lastFailure.hr == hr ? t_lastFailure.detail : std::string();
}

HRESULT d3dx::AddDataObjectAdopting(ID3DXFileSaveObject* save, REFGUID rguidTemplate, LPCSTR szName,
                                    const GUID* pId, XPayloadBytes&& payload,
                                    ID3DXFileSaveData** ppObj) {
    if (save == nullptr) return E_POINTER;
    if (auto* ours = dynamic_cast<SaveObject*>(save))
        return ours->AddRoot(rguidTemplate, szName, pId,
                             NodePayload{payload.size(), payload.data(), &payload}, ppObj);
    return save->AddDataObject(rguidTemplate, szName, pId, payload.size(), payload.data(), ppObj);
}

HRESULT d3dx::AddDataObjectAdopting(ID3DXFileSaveData* parent, REFGUID rguidTemplate, LPCSTR szName,
                                    const GUID* pId, XPayloadBytes&& payload,
                                    ID3DXFileSaveData** ppObj) {
    if (parent == nullptr) return E_POINTER;
    if (auto* ours = dynamic_cast<SaveData*>(parent))
        return ours->AddChild(rguidTemplate, szName, pId,
                              NodePayload{payload.size(), payload.data(), &payload}, ppObj);
    return parent->AddDataObject(rguidTemplate, szName, pId, payload.size(), payload.data(), ppObj);
}

HRESULT D3DXFileCreate(ID3DXFile** lplpDirectXFile) {
    if (lplpDirectXFile == nullptr) return E_POINTER;
    *lplpDirectXFile = new (std::nothrow) FileObject();
    return *lplpDirectXFile == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT RegisterStandardTemplateSets(ID3DXFile* file) {
    if (file == nullptr) return E_POINTER;
    // The text sets are passed without their terminating zero.
    HRESULT hr = file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    if (SUCCEEDED(hr)) {
        hr = file->RegisterTemplates(XSKINEXP_TEMPLATES, sizeof XSKINEXP_TEMPLATES - 1);
    }
    if (SUCCEEDED(hr)) {
        hr = file->RegisterTemplates(XEXTENSIONS_TEMPLATES, sizeof XEXTENSIONS_TEMPLATES - 1);
    }
    return hr;
}
