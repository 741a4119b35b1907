#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/HResult.h"
#include "xfile/HResultName.h"

namespace {

HRESULT Code(DWORD value) {
    return static_cast<HRESULT>(value);
}

// The values below were read from the mingw-w64 headers (winerror.h, d3d9.h, d3dx9.h,
// dxfile.h, ddraw.h, d3drm.h, dsound.h, dinput.h, dinputd.h, dmerror.h, dplay8.h, dplay.h,
// xaudio2.h, wbemcli.h) and worked out by hand from their macros, not taken from the table.
struct Known {
    DWORD code;
    const char* name;
};

void ExpectNames(const std::vector<Known>& known) {
    for (const Known& k : known) {
        EXPECT_STREQ(HResultName(Code(k.code)), k.name) << std::hex << "0x" << k.code;
    }
}

TEST(HResultName, EdgeCases) {
    EXPECT_STREQ(HResultName(Code(0x8007000Eu)), "E_OUTOFMEMORY");
    EXPECT_STREQ(HResultName(0), "S_OK");
    EXPECT_STREQ(HResultName(S_OK), "S_OK");
    EXPECT_STREQ(HResultName(1), "S_FALSE");
    EXPECT_STREQ(HResultName(S_FALSE), "S_FALSE");
}

TEST(HResultName, CodesNoHeaderNamesAreUnknown) {
    for (DWORD code : {0x12345678u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x0000FFFFu, 0x80070000u, 0x8876FFFFu,
                       0x88760383u, 0x88760396u}) {
        EXPECT_STREQ(HResultName(Code(code)), "Unknown") << std::hex << "0x" << code;
    }
}

TEST(HResultName, EveryD3DXFileCode) {
    const std::pair<HRESULT, const char*> codes[] = {
        {D3DXFERR_BADOBJECT, "D3DXFERR_BADOBJECT"},
        {D3DXFERR_BADVALUE, "D3DXFERR_BADVALUE"},
        {D3DXFERR_BADTYPE, "D3DXFERR_BADTYPE"},
        {D3DXFERR_NOTFOUND, "D3DXFERR_NOTFOUND"},
        {D3DXFERR_NOTDONEYET, "D3DXFERR_NOTDONEYET"},
        {D3DXFERR_FILENOTFOUND, "D3DXFERR_FILENOTFOUND"},
        {D3DXFERR_RESOURCENOTFOUND, "D3DXFERR_RESOURCENOTFOUND"},
        {D3DXFERR_BADRESOURCE, "D3DXFERR_BADRESOURCE"},
        {D3DXFERR_BADFILETYPE, "D3DXFERR_BADFILETYPE"},
        {D3DXFERR_BADFILEVERSION, "D3DXFERR_BADFILEVERSION"},
        {D3DXFERR_BADFILEFLOATSIZE, "D3DXFERR_BADFILEFLOATSIZE"},
        {D3DXFERR_BADFILE, "D3DXFERR_BADFILE"},
        {D3DXFERR_PARSEERROR, "D3DXFERR_PARSEERROR"},
        {D3DXFERR_BADARRAYSIZE, "D3DXFERR_BADARRAYSIZE"},
        {D3DXFERR_BADDATAREFERENCE, "D3DXFERR_BADDATAREFERENCE"},
        {D3DXFERR_NOMOREOBJECTS, "D3DXFERR_NOMOREOBJECTS"},
        {D3DXFERR_NOMOREDATA, "D3DXFERR_NOMOREDATA"},
        {D3DXFERR_BADCACHEFILE, "D3DXFERR_BADCACHEFILE"},
    };
    for (const auto& [code, name] : codes) EXPECT_STREQ(HResultName(code), name);
    // d3dx9xof.h: MAKE_HRESULT(1, 0x876, 900) to MAKE_HRESULT(1, 0x876, 917).
    EXPECT_STREQ(HResultName(Code(0x88760384u)), "D3DXFERR_BADOBJECT");
    EXPECT_STREQ(HResultName(Code(0x88760395u)), "D3DXFERR_BADCACHEFILE");
}

TEST(HResultName, CodesOfTheFileLayerAndFileFunctions) {
    EXPECT_STREQ(HResultName(E_NOTIMPL), "E_NOTIMPL");
    EXPECT_STREQ(HResultName(E_NOINTERFACE), "E_NOINTERFACE");
    EXPECT_STREQ(HResultName(E_POINTER), "E_POINTER");
    EXPECT_STREQ(HResultName(E_ABORT), "E_ABORT");
    EXPECT_STREQ(HResultName(E_FAIL), "E_FAIL");
    EXPECT_STREQ(HResultName(E_UNEXPECTED), "E_UNEXPECTED");
    EXPECT_STREQ(HResultName(E_ACCESSDENIED), "E_ACCESSDENIED");
    EXPECT_STREQ(HResultName(E_HANDLE), "E_HANDLE");
    EXPECT_STREQ(HResultName(E_OUTOFMEMORY), "E_OUTOFMEMORY");
    EXPECT_STREQ(HResultName(E_INVALIDARG), "E_INVALIDARG");
    EXPECT_STREQ(HResultName(HRESULT_FROM_WIN32(3)), "ERROR_PATH_NOT_FOUND");
    EXPECT_STREQ(HResultName(HRESULT_FROM_WIN32(112)), "ERROR_DISK_FULL");
    EXPECT_STREQ(HResultName(HRESULT_FROM_WIN32(2)), "ERROR_FILE_NOT_FOUND");
    EXPECT_STREQ(HResultName(HRESULT_FROM_WIN32(32)), "ERROR_SHARING_VIOLATION");
    EXPECT_STREQ(HResultName(HRESULT_FROM_WIN32(183)), "ERROR_ALREADY_EXISTS");
}

TEST(HResultName, Win32CodesAsPlainNumbersAndAsHResults) {
    ExpectNames({
        {2, "ERROR_FILE_NOT_FOUND"},
        {3, "ERROR_PATH_NOT_FOUND"},
        {5, "ERROR_ACCESS_DENIED"},
        {14, "ERROR_OUTOFMEMORY"},
        {32, "ERROR_SHARING_VIOLATION"},
        {112, "ERROR_DISK_FULL"},
        {183, "ERROR_ALREADY_EXISTS"},
        {258, "WAIT_TIMEOUT"},
        {1722, "RPC_S_SERVER_UNAVAILABLE"},
        {10060, "WSAETIMEDOUT"},
        {0x80070002u, "ERROR_FILE_NOT_FOUND"},
        {0x80070003u, "ERROR_PATH_NOT_FOUND"},
        {0x80070070u, "ERROR_DISK_FULL"},
        {0x800706BAu, "RPC_S_SERVER_UNAVAILABLE"},
    });
}

TEST(HResultName, HeaderNamesWinOverTheHResultFormOfWin32Codes) {
    // 0x80070005 is both E_ACCESSDENIED and HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED).
    ExpectNames({
        {0x80070005u, "E_ACCESSDENIED"},
        {0x80070006u, "E_HANDLE"},
        {0x8007000Eu, "E_OUTOFMEMORY"},
        {0x80070057u, "E_INVALIDARG"},
        {0x8007007Au, "E_NOT_SUFFICIENT_BUFFER"},
    });
}

TEST(HResultName, ComAndOleResults) {
    ExpectNames({
        {0x800401F0u, "CO_E_NOTINITIALIZED"},
        {0x800401F3u, "CO_E_CLASSSTRING"},
        {0x80030002u, "STG_E_FILENOTFOUND"},
        {0x80030005u, "STG_E_ACCESSDENIED"},
        {0x80010106u, "RPC_E_CHANGED_MODE"},
        {0x80040154u, "REGDB_E_CLASSNOTREG"},
        {0x80040110u, "CLASS_E_NOAGGREGATION"},
        {0x8000000Au, "E_PENDING"},
        {0x8004D019u, "XACT_E_ABORTED"},
        {0x0004D000u, "XACT_S_ASYNC"},
    });
}

TEST(HResultName, SecurityCryptoSetupAndWmiResults) {
    ExpectNames({
        {0x80090301u, "SEC_E_INVALID_HANDLE"},
        {0x80090003u, "NTE_BAD_KEY"},
        {0x80092004u, "CRYPT_E_NOT_FOUND"},
        {0x800B0100u, "TRUST_E_NOSIGNATURE"},
        {0x800B0101u, "CERT_E_EXPIRED"},
        {0x800F0001u, "SPAPI_E_BAD_SECTION_NAME_LINE"},
        {0x800F0203u, "SPAPI_E_NO_DRIVER_SELECTED"},
        {0x80041001u, "WBEM_E_FAILED"},
        {0x80041002u, "WBEM_E_NOT_FOUND"},
        {0x00040005u, "WBEM_S_NO_MORE_DATA"},
    });
}

TEST(HResultName, DirectXFamilies) {
    ExpectNames({
        // d3d9.h: MAKE_D3DHRESULT(code) and MAKE_D3DSTATUS(code) with _FACD3D 0x876.
        {0x8876086Cu, "D3DERR_INVALIDCALL"},
        {0x88760868u, "D3DERR_DEVICELOST"},
        {0x8876017Cu, "D3DERR_OUTOFVIDEOMEMORY"},
        {0x8876021Cu, "D3DERR_WASSTILLDRAWING"},
        {0x0876086Fu, "D3DOK_NOAUTOGEN"},
        {0x08760878u, "S_PRESENT_OCCLUDED"},
        // d3dx9.h: enum members MAKE_DDHRESULT(2900) and on.
        {0x88760B54u, "D3DXERR_CANNOTMODIFYINDEXBUFFER"},
        {0x88760B59u, "D3DXERR_INVALIDDATA"},
        {0x88760B5Cu, "D3DXERR_CANNOTREMOVELASTITEM"},
        // dxfile.h: MAKE_DDHRESULT(850) and on.
        {0x88760352u, "DXFILEERR_BADOBJECT"},
        {0x88760361u, "DXFILEERR_BADFILE"},
        {0x8876036Cu, "DXFILEERR_NOINTERNET"},
        // ddraw.h and d3drm.h: MAKE_DDHRESULT(code).
        {0x88760005u, "DDERR_ALREADYINITIALIZED"},
        {0x8876000Au, "DDERR_CANNOTATTACHSURFACE"},
        {0x887600FFu, "DDERR_NOTFOUND"},
        {0x8876030Du, "D3DRMERR_BADOBJECT"},
        // dsound.h: MAKE_DSHRESULT(code) with _FACDS 0x878.
        {0x8878000Au, "DSERR_ALLOCATED"},
        {0x88780096u, "DSERR_BUFFERLOST"},
        {0x0878000Au, "DS_NO_VIRTUALIZATION"},
        // dinput.h, dinputd.h: plain numbers.
        {0x80040200u, "DIERR_INSUFFICIENTPRIVS"},
        {0x80040202u, "DIERR_MOREDATA"},
        {0x80040401u, "DIERR_CANCELLED"},
        // dmerror.h: MAKE_HRESULT(sev, 0x878, 0x1000 + code).
        {0x88781101u, "DMUS_E_DRIVER_FAILED"},
        {0x8878122Fu, "DMUS_E_INVALID_CONTAINER_OBJECT"},
        {0x08781091u, "DMUS_S_PARTIALLOAD"},
        // dplay8.h: MAKE_HRESULT(1, 0x15, code + 0x8000); dplay.h: _FACDP 0x877.
        {0x80158030u, "DPNERR_ABORTED"},
        {0x80158650u, "DPNERR_USERCANCEL"},
        {0x00158005u, "DPNSUCCESS_EQUAL"},
        {0x88770005u, "DPERR_ALREADYINITIALIZED"},
        // xaudio2.h, and DXGI in winerror.h.
        {0x88960001u, "XAUDIO2_E_INVALID_CALL"},
        {0x88960004u, "XAUDIO2_E_DEVICE_INVALIDATED"},
        {0x887A0005u, "DXGI_ERROR_DEVICE_REMOVED"},
    });
}

TEST(HResultName, OneNameWhereSeveralHeadersNameACode) {
    ExpectNames({
        {0x80004005u, "E_FAIL"},                   // also DDERR_GENERIC, DSERR_GENERIC
        {0x80004001u, "E_NOTIMPL"},                // also DDERR_UNSUPPORTED
        {0x80070002u, "ERROR_FILE_NOT_FOUND"},     // also DIERR_NOTFOUND
        {0x8876017Cu, "D3DERR_OUTOFVIDEOMEMORY"},  // also DDERR_OUTOFVIDEOMEMORY
        {0x88781161u, "DSERR_OBJECTNOTFOUND"},     // also DMUS_E_NOT_FOUND
        {0x0000000Eu, "ERROR_OUTOFMEMORY"},        // also DNS_ERROR_NO_MEMORY
    });
}

TEST(HResultNameTable, IsSortedWithEachCodeOnce) {
    const auto table = HResultNameTable();
    ASSERT_GT(table.size(), 3000u);
    for (std::size_t i = 1; i < table.size(); ++i) {
        EXPECT_LT(table[i - 1].code, table[i].code) << "row " << i;
    }
}

TEST(HResultNameTable, NamesAreIdentifiers) {
    for (const HResultNameEntry& entry : HResultNameTable()) {
        ASSERT_NE(entry.name, nullptr);
        const std::string name = entry.name;
        EXPECT_FALSE(name.empty());
        EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(name.front()))) << name;
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        })) << name;
        EXPECT_NE(name, "Unknown");
    }
}

TEST(HResultNameTable, LookupAgreesWithALinearScan) {
    const auto table = HResultNameTable();
    auto linear = [&](DWORD code) -> const char* {
        for (const HResultNameEntry& entry : table) {
            if (entry.code == code) return entry.name;
        }
        return "Unknown";
    };
    for (const HResultNameEntry& entry : table) {
        EXPECT_EQ(HResultName(Code(entry.code)), entry.name);
        for (DWORD neighbour : {entry.code - 1, entry.code + 1}) {
            EXPECT_STREQ(HResultName(Code(neighbour)), linear(neighbour));
        }
    }
    EXPECT_STREQ(HResultName(Code(table.front().code)), table.front().name);
    EXPECT_STREQ(HResultName(Code(table.back().code)), table.back().name);
}

}  // namespace
