#pragma once

#include <windows.h>

// One owner for one operating-system handle, closed exactly once.
//
// Windows has two "empty" handle values: CreateFileW fails with
// INVALID_HANDLE_VALUE, most other creators with null. Each kind gets its own
// type, so a file handle is never tested against null by mistake:
//
//     UniqueFile file(CreateFileW(...));        // empty: INVALID_HANDLE_VALUE
//     UniqueHandle event(CreateEventW(...));    // empty: null
//
// Reset() closes and empties; a second Reset() does nothing. Closing keeps the
// thread's last-error code, so a caller may release before it reads that code.
template <typename Traits> class BasicUniqueHandle
{
public:
    using Value = typename Traits::Value;

    BasicUniqueHandle() = default;
    explicit BasicUniqueHandle(Value value) : m_value(value) {}
    ~BasicUniqueHandle() { Reset(); }

    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : m_value(other.Release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept
    {
        if (this != &other)
        {
            Reset(other.Release());
        }
        return *this;
    }
    BasicUniqueHandle(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;

    Value Get() const { return m_value; }
    bool IsValid() const { return m_value != Traits::Empty(); }
    explicit operator bool() const { return IsValid(); }

    // Closes what is held (keeping the last-error code) and takes `value`.
    void Reset(Value value = Traits::Empty())
    {
        if (IsValid())
        {
            const DWORD lastError = GetLastError();
            Traits::Close(m_value);
            SetLastError(lastError);
        }
        m_value = value;
    }

    // Gives the handle away without closing it.
    Value Release()
    {
        const Value value = m_value;
        m_value = Traits::Empty();
        return value;
    }

    // For creators that return the handle through a pointer: closes what is held first.
    Value* Put()
    {
        Reset();
        return &m_value;
    }

private:
    Value m_value = Traits::Empty();
};

struct KernelHandleTraits
{
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { CloseHandle(value); }
};

struct FileHandleTraits
{
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) { CloseHandle(value); }
};

// Memory that a system call allocated for the caller with LocalAlloc
// (security descriptors, FormatMessageW texts).
struct LocalMemoryTraits
{
    using Value = void*;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { LocalFree(value); }
};

struct FindHandleTraits
{
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) { FindClose(value); }
};

struct RegistryKeyTraits
{
    using Value = HKEY;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { RegCloseKey(value); }
};

// SIDs from AllocateAndInitializeSid, which only FreeSid may release.
struct AllocatedSidTraits
{
    using Value = PSID;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { FreeSid(value); }
};

// RegisterEventSourceW results.
struct EventSourceTraits
{
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { DeregisterEventSource(value); }
};

// Events, mutexes, threads, processes, pipes, file mappings: empty is null.
using UniqueHandle = BasicUniqueHandle<KernelHandleTraits>;
// CreateFileW results: empty is INVALID_HANDLE_VALUE.
using UniqueFile = BasicUniqueHandle<FileHandleTraits>;
// FindFirstFileW results.
using UniqueFind = BasicUniqueHandle<FindHandleTraits>;
using UniqueLocalMemory = BasicUniqueHandle<LocalMemoryTraits>;
using UniqueRegistryKey = BasicUniqueHandle<RegistryKeyTraits>;
using UniqueSid = BasicUniqueHandle<AllocatedSidTraits>;
using UniqueEventSource = BasicUniqueHandle<EventSourceTraits>;

// Both handles that CreateProcessW returns, closed together. Reset() closes
// them (keeping the last-error code) and empties; a second Reset() does nothing.
class UniqueProcessInformation
{
public:
    UniqueProcessInformation() = default;
    ~UniqueProcessInformation() { Reset(); }
    UniqueProcessInformation(UniqueProcessInformation&& other) noexcept : m_info(other.m_info)
    {
        other.m_info = {};
    }
    UniqueProcessInformation& operator=(UniqueProcessInformation&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_info = other.m_info;
            other.m_info = {};
        }
        return *this;
    }
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;

    const PROCESS_INFORMATION& Get() const { return m_info; }
    HANDLE Process() const { return m_info.hProcess; }
    HANDLE Thread() const { return m_info.hThread; }
    bool IsValid() const { return m_info.hProcess != nullptr; }

    void Reset()
    {
        const DWORD lastError = GetLastError();
        if (m_info.hThread != nullptr)
        {
            CloseHandle(m_info.hThread);
        }
        if (m_info.hProcess != nullptr)
        {
            CloseHandle(m_info.hProcess);
        }
        m_info = {};
        SetLastError(lastError);
    }

    // For CreateProcessW: closes what is held first.
    PROCESS_INFORMATION* Put()
    {
        Reset();
        return &m_info;
    }

private:
    PROCESS_INFORMATION m_info = {};
};
