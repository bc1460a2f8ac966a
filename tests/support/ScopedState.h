#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// State a test sets for the length of a scope; each owner puts back what was there before.

// An environment variable of this process, and so of every program it starts.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name), m_earlier(Read(name))
    {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment()
    {
        SetEnvironmentVariableW(m_name.c_str(), m_earlier ? m_earlier->c_str() : nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    static std::optional<std::wstring> Read(const wchar_t* name)
    {
        std::vector<wchar_t> value(GetEnvironmentVariableW(name, nullptr, 0));
        if (value.empty() ||
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())) == 0)
        {
            return std::nullopt;
        }
        return std::wstring(value.data());
    }

    const std::wstring m_name;
    const std::optional<std::wstring> m_earlier;
};

// A DWORD value under HKEY_CURRENT_USER; a key made for it stays.
class ScopedUserValue
{
public:
    ScopedUserValue(const std::wstring& key, const wchar_t* name, DWORD data) : m_key(key), m_name(name)
    {
        DWORD size = sizeof(m_earlier);
        m_hadEarlier = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr,
                                    &m_earlier, &size) == ERROR_SUCCESS;
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_DWORD, &data, sizeof(data));
    }
    ~ScopedUserValue()
    {
        if (m_hadEarlier)
        {
            RegSetKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str(), REG_DWORD, &m_earlier,
                            sizeof(m_earlier));
            return;
        }
        RegDeleteKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str());
    }
    ScopedUserValue(const ScopedUserValue&) = delete;
    ScopedUserValue& operator=(const ScopedUserValue&) = delete;

private:
    const std::wstring m_key;
    const std::wstring m_name;
    DWORD m_earlier = 0;
    bool m_hadEarlier = false;
};

// A scratch key, made empty for the test and removed with all it holds.
class ScopedRegistryKey
{
public:
    ScopedRegistryKey(HKEY root, const std::wstring& subKey) : m_root(root), m_subKey(subKey)
    {
        RegDeleteTreeW(root, subKey.c_str());
        RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, m_key.Put(), nullptr);
    }
    ~ScopedRegistryKey()
    {
        m_key.Reset();
        RegDeleteTreeW(m_root, m_subKey.c_str());
    }
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
    HKEY Get() const { return m_key.Get(); }
    void Set(const wchar_t* name, DWORD data)
    {
        RegSetValueExW(m_key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    }

private:
    const HKEY m_root;
    const std::wstring m_subKey;
    UniqueRegistryKey m_key;
};

// This process's standard output, sent to a new file.
class ScopedStandardOutput
{
public:
    explicit ScopedStandardOutput(const std::wstring& path)
        : m_file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        SetStdHandle(STD_OUTPUT_HANDLE, m_file.Get());
    }
    ~ScopedStandardOutput() { SetStdHandle(STD_OUTPUT_HANDLE, m_earlier); }
    ScopedStandardOutput(const ScopedStandardOutput&) = delete;
    ScopedStandardOutput& operator=(const ScopedStandardOutput&) = delete;

private:
    const HANDLE m_earlier = GetStdHandle(STD_OUTPUT_HANDLE);
    UniqueFile m_file;
};
