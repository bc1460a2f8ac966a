#pragma once

#include "toast/WinRtError.h"

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <utility>

// Owns one reference to a COM interface. Reset twice releases once.
template <typename T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(const ComPtr& other) : m_ptr(other.m_ptr) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* pointer)
    {
        ComPtr result;
        result.m_ptr = pointer;
        return result;
    }

    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // For out parameters: drops what is held, then hands out the slot.
    T** Put()
    {
        Reset();
        return &m_ptr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    void Reset()
    {
        if (m_ptr != nullptr)
        {
            std::exchange(m_ptr, nullptr)->Release();
        }
    }

    // Raises WinRtError with the query's code (E_NOINTERFACE when it is missing).
    template <typename U> ComPtr<U> As() const
    {
        ComPtr<U> result;
        if (m_ptr == nullptr)
        {
            throw WinRtError(E_POINTER);
        }
        ThrowIfFailed(m_ptr->QueryInterface(__uuidof(U), result.PutVoid()));
        return result;
    }

private:
    void AddRefHeld()
    {
        if (m_ptr != nullptr)
        {
            m_ptr->AddRef();
        }
    }

    T* m_ptr = nullptr;
};
