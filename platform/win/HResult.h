// Result codes: the COM results and the D3DX file-layer results, with the values of the
// Windows and DirectX SDK headers. Negative means failure.
#pragma once

#include "platform/win/WinTypes.h"

constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code) {
    return static_cast<HRESULT>((static_cast<DWORD>(severity) << 31) |
                                (static_cast<DWORD>(facility) << 16) | static_cast<DWORD>(code));
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr unsigned FACILITY_WIN32 = 7;
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error) {
    return static_cast<HRESULT>(error) <= 0
               ? static_cast<HRESULT>(error)
               : static_cast<HRESULT>((error & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// Facility of the D3DX file component (d3dx9xof.h).
constexpr unsigned FACILITY_D3DXF = 0x876;
constexpr HRESULT D3DXFERR_BADOBJECT = MAKE_HRESULT(1, FACILITY_D3DXF, 900);
constexpr HRESULT D3DXFERR_BADVALUE = MAKE_HRESULT(1, FACILITY_D3DXF, 901);
constexpr HRESULT D3DXFERR_BADTYPE = MAKE_HRESULT(1, FACILITY_D3DXF, 902);
constexpr HRESULT D3DXFERR_NOTFOUND = MAKE_HRESULT(1, FACILITY_D3DXF, 903);
constexpr HRESULT D3DXFERR_NOTDONEYET = MAKE_HRESULT(1, FACILITY_D3DXF, 904);
constexpr HRESULT D3DXFERR_FILENOTFOUND = MAKE_HRESULT(1, FACILITY_D3DXF, 905);
constexpr HRESULT D3DXFERR_RESOURCENOTFOUND = MAKE_HRESULT(1, FACILITY_D3DXF, 906);
constexpr HRESULT D3DXFERR_BADRESOURCE = MAKE_HRESULT(1, FACILITY_D3DXF, 907);
constexpr HRESULT D3DXFERR_BADFILETYPE = MAKE_HRESULT(1, FACILITY_D3DXF, 908);
constexpr HRESULT D3DXFERR_BADFILEVERSION = MAKE_HRESULT(1, FACILITY_D3DXF, 909);
constexpr HRESULT D3DXFERR_BADFILEFLOATSIZE = MAKE_HRESULT(1, FACILITY_D3DXF, 910);
constexpr HRESULT D3DXFERR_BADFILE = MAKE_HRESULT(1, FACILITY_D3DXF, 911);
constexpr HRESULT D3DXFERR_PARSEERROR = MAKE_HRESULT(1, FACILITY_D3DXF, 912);
constexpr HRESULT D3DXFERR_BADARRAYSIZE = MAKE_HRESULT(1, FACILITY_D3DXF, 913);
constexpr HRESULT D3DXFERR_BADDATAREFERENCE = MAKE_HRESULT(1, FACILITY_D3DXF, 914);
constexpr HRESULT D3DXFERR_NOMOREOBJECTS = MAKE_HRESULT(1, FACILITY_D3DXF, 915);
constexpr HRESULT D3DXFERR_NOMOREDATA = MAKE_HRESULT(1, FACILITY_D3DXF, 916);
constexpr HRESULT D3DXFERR_BADCACHEFILE = MAKE_HRESULT(1, FACILITY_D3DXF, 917);
