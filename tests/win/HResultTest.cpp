#include <gtest/gtest.h>

#include "platform/win/HResult.h"
#include "platform/win/Unknown.h"

namespace {

TEST(HResult, CodesHaveTheSdkValues) {
    EXPECT_EQ(static_cast<DWORD>(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<DWORD>(D3DXFERR_BADOBJECT), 0x88760384u);
    EXPECT_EQ(static_cast<DWORD>(D3DXFERR_BADCACHEFILE), 0x88760395u);
    EXPECT_EQ(HRESULT_FROM_WIN32(5), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(FAILED(D3DXFERR_PARSEERROR));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

class Counted : public IUnknown {
  public:
    explicit Counted(bool& destroyed) : m_destroyed(destroyed) {}
    ~Counted() override { m_destroyed = true; }

  private:
    bool& m_destroyed;
};

TEST(Unknown, LastReleaseDeletesTheObject) {
    bool destroyed = false;
    auto* object = new Counted(destroyed);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

}  // namespace
