// The reference count of COM objects: an object starts with one reference, held by its
// creator, and deletes itself when the last one is released.
#pragma once

#include "platform/win/WinTypes.h"

class IUnknown {
  public:
    IUnknown() = default;
    IUnknown(const IUnknown&) = delete;
    IUnknown& operator=(const IUnknown&) = delete;

    ULONG AddRef() { return ++m_cRef; }
    ULONG Release() {
        ULONG remaining = --m_cRef;
        if (remaining == 0) delete this;
        return remaining;
    }

  protected:
    virtual ~IUnknown() = default;

  private:
    ULONG m_cRef = 1;
};
