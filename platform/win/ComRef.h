// One reference to a COM object, released when the holder goes: the way every D3DX object
// the exporter creates is held, so no path out of a writer forgets a Release.
#pragma once

#include <utility>

template <typename T>
class ComRef {
  public:
    ComRef() = default;
    explicit ComRef(T* object) : m_object(object) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            Reset();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    // For a creating call's out argument: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &m_object;
    }
    void Reset() {
        if (m_object != nullptr) std::exchange(m_object, nullptr)->Release();
    }

  private:
    T* m_object = nullptr;
};
