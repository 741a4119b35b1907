#include "xfile/XFile.h"

HRESULT XParent::AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId, SIZE_T cbSize,
                               LPCVOID pvData, ID3DXFileSaveData** ppObj) const {
    if (m_file != nullptr)
        return m_file->AddDataObject(rguidTemplate, szName, pId, cbSize, pvData, ppObj);
    return m_data->AddDataObject(rguidTemplate, szName, pId, cbSize, pvData, ppObj);
}

HRESULT XParent::AddDataReference(LPCSTR szName, const GUID* pId) const {
    // The file itself holds no references: only data objects do.
    if (m_data == nullptr) return D3DXFERR_BADOBJECT;
    return m_data->AddDataReference(szName, pId);
}

HRESULT XParent::AddLeaf(REFGUID rguidTemplate, LPCSTR szName, SIZE_T cbSize,
                         LPCVOID pvData) const {
    ComRef<ID3DXFileSaveData> object;
    return AddDataObject(rguidTemplate, szName, nullptr, cbSize, pvData, object.Put());
}

HRESULT XParent::AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId,
                               d3dx::XPayloadWriter&& payload, ID3DXFileSaveData** ppObj) const {
    d3dx::XPayloadBytes bytes = payload.TakeBytes();
    if (m_file != nullptr)
        return d3dx::AddDataObjectAdopting(m_file, rguidTemplate, szName, pId, std::move(bytes),
                                           ppObj);
    return d3dx::AddDataObjectAdopting(m_data, rguidTemplate, szName, pId, std::move(bytes), ppObj);
}

HRESULT XParent::AddLeaf(REFGUID rguidTemplate, LPCSTR szName,
                         d3dx::XPayloadWriter&& payload) const {
    ComRef<ID3DXFileSaveData> object;
    return AddDataObject(rguidTemplate, szName, nullptr, std::move(payload), object.Put());
}
