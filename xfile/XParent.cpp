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
