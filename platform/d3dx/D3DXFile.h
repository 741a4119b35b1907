// The D3DX9 file-save interfaces: a file object that holds registered templates and makes
// save objects; a save object that collects data objects and writes them as one .X file
// in text, binary or compressed form; and the data objects, which take children and
// by-name references.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XTemplateSets.h"
#include "platform/win/Guid.h"
#include "platform/win/HResult.h"
#include "platform/win/Unknown.h"

using D3DXF_FILESAVEOPTIONS = DWORD;
using D3DXF_FILEFORMAT = DWORD;

constexpr D3DXF_FILESAVEOPTIONS D3DXF_FILESAVE_TOFILE = 0x00;
constexpr D3DXF_FILESAVEOPTIONS D3DXF_FILESAVE_TOWFILE = 0x01;
constexpr D3DXF_FILEFORMAT D3DXF_FILEFORMAT_BINARY = 0;
constexpr D3DXF_FILEFORMAT D3DXF_FILEFORMAT_TEXT = 1;
constexpr D3DXF_FILEFORMAT D3DXF_FILEFORMAT_COMPRESSED = 2;

class ID3DXFile;
class ID3DXFileSaveObject;

class ID3DXFileSaveData : public IUnknown {
  public:
    // Adds a child data object of a registered template. The payload (cbSize bytes, laid
    // out as the template's members) is copied before the call returns. Fails with
    // D3DXFERR_NOTFOUND for an unknown template, D3DXFERR_BADVALUE or
    // D3DXFERR_BADARRAYSIZE for a payload too short for its members, D3DXFERR_BADOBJECT
    // when this object's template takes no such child; nothing is added then. Bytes past
    // the members are ignored. `ppObj` may be null when the caller keeps no reference.
    [[nodiscard]] virtual HRESULT AddDataObject(REFGUID rguidTemplate, LPCSTR szName,
                                                const GUID* pId, SIZE_T cbSize, LPCVOID pvData,
                                                ID3DXFileSaveData** ppObj) = 0;
    // Adds a reference to another object, by name or by id (one of them non-null).
    [[nodiscard]] virtual HRESULT AddDataReference(LPCSTR szName, const GUID* pId) = 0;
    [[nodiscard]] virtual HRESULT GetSave(ID3DXFileSaveObject** ppObj) = 0;
    [[nodiscard]] virtual HRESULT GetName(LPSTR szName, SIZE_T* puiSize) = 0;
    [[nodiscard]] virtual HRESULT GetId(GUID* pId) = 0;
    [[nodiscard]] virtual HRESULT GetType(GUID* pType) = 0;
};

class ID3DXFileSaveObject : public IUnknown {
  public:
    [[nodiscard]] virtual HRESULT GetFile(ID3DXFile** ppFile) = 0;
    // Adds a top-level data object; the same rules as ID3DXFileSaveData::AddDataObject.
    [[nodiscard]] virtual HRESULT AddDataObject(REFGUID rguidTemplate, LPCSTR szName,
                                                const GUID* pId, SIZE_T cbSize, LPCVOID pvData,
                                                ID3DXFileSaveData** ppObj) = 0;
    // Writes the file. The file appears whole or not at all: it is written beside the
    // target and renamed into place. Fails when the file cannot be written, and, for the
    // text form, with D3DXFERR_BADVALUE when a name or string cannot be spelt in text.
    [[nodiscard]] virtual HRESULT Save() = 0;
};

class ID3DXFile : public IUnknown {
  public:
    // `pData` is the file name (a char string; D3DXF_FILESAVE_TOFILE). `dwFileFormat` is
    // D3DXF_FILEFORMAT_BINARY or D3DXF_FILEFORMAT_TEXT, or-ed with
    // D3DXF_FILEFORMAT_COMPRESSED for the compressed forms.
    [[nodiscard]] virtual HRESULT CreateSaveObject(LPCVOID pData, D3DXF_FILESAVEOPTIONS flags,
                                                   D3DXF_FILEFORMAT dwFileFormat,
                                                   ID3DXFileSaveObject** ppSaveObj) = 0;
    // Registers the templates of a .X template block (text, binary or compressed, with its
    // 16-byte header). Calls add up. Malformed data fails with D3DXFERR_PARSEERROR (or a
    // header error) and registers nothing of that call.
    [[nodiscard]] virtual HRESULT RegisterTemplates(LPCVOID pvData, SIZE_T cbSize) = 0;
};

[[nodiscard]] HRESULT D3DXFileCreate(ID3DXFile** lplpDirectXFile);

// Registers the three standard template sets on `file` in the order an exporter needs them
// (later sets name templates of earlier ones): D3DRM_XTEMPLATES, XSKINEXP_TEMPLATES,
// XEXTENSIONS_TEMPLATES. Stops at the first call that fails and returns its result.
[[nodiscard]] HRESULT RegisterStandardTemplateSets(ID3DXFile* file);

namespace d3dx {

// Why the last failed call of this thread into a file, save or data object failed, in words
// that name the object or template and the value, e.g.
//   Material "a b": the name "a b" cannot be written in the text form: it holds a space
// Given only while that call's result was `hr`, and emptied by every later call of those
// that can fail (Save, AddDataObject, AddDataReference, RegisterTemplates), so it never
// explains a failure it did not cause. Empty when there is nothing more to say than `hr`.
// D3DX itself has no such call: the exporter adds these words to its save error message.
std::string LastFailureDetail(HRESULT hr);

// Adds a data object as AddDataObject does, under the save object or under a data object,
// but takes `payload` over instead of copying it: the save tree keeps these very bytes,
// trimmed to what the template's members take, so a large payload (a mesh's vertices and
// faces) is never held twice. When the add fails, nothing is added and `payload` is left as
// it was. An object of another implementation of the interfaces gets a copy through its own
// AddDataObject, as D3DX itself has no such call.
[[nodiscard]] HRESULT AddDataObjectAdopting(ID3DXFileSaveObject* save, REFGUID rguidTemplate,
                                            LPCSTR szName, const GUID* pId, XPayloadBytes&& payload,
                                            ID3DXFileSaveData** ppObj);
[[nodiscard]] HRESULT AddDataObjectAdopting(ID3DXFileSaveData* parent, REFGUID rguidTemplate,
                                            LPCSTR szName, const GUID* pId, XPayloadBytes&& payload,
                                            ID3DXFileSaveData** ppObj);

}  // namespace d3dx
