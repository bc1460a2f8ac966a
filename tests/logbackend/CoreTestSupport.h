#pragma once

#include "logbackend/core/Configurator.h"
#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/Repository.h"

#include "LogTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace logtest
{
// Collects the library's own report lines instead of sending them to the debugger.
class DiagnosticCapture
{
public:
    DiagnosticCapture()
    {
        s_lines.clear();
        vwnlog::SetDiagnosticSink(&Sink);
    }
    ~DiagnosticCapture()
    {
        vwnlog::SetDiagnosticSink(nullptr);
        vwnlog::SetInternalDebugging(false);
    }
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    std::vector<std::wstring> Lines() const
    {
        AcquireSRWLockExclusive(&s_lock);
        std::vector<std::wstring> lines = s_lines;
        ReleaseSRWLockExclusive(&s_lock);
        return lines;
    }

private:
    static void Sink(const std::wstring& line)
    {
        AcquireSRWLockExclusive(&s_lock);
        s_lines.push_back(line);
        ReleaseSRWLockExclusive(&s_lock);
    }
    static inline std::vector<std::wstring> s_lines;
    static inline SRWLOCK s_lock = SRWLOCK_INIT;
};

// Lines first..last as a "%m%n" layout writes "line NN" messages: nine bytes each ("line 01\r\n").
inline std::string NumberedLines(int first, int last)
{
    std::string bytes;
    for (int i = first; i <= last; ++i)
    {
        char text[16];
        snprintf(text, sizeof(text), "line %02d\r\n", i);
        bytes += text;
    }
    return bytes;
}

// A repository configured from properties text in a fresh folder; "$FOLDER"
// in the text stands for that folder.
class RepositoryTest : public ::testing::Test
{
protected:
    void Apply(const std::string& text)
    {
        const std::wstring path = m_folder / L"test.properties";
        ASSERT_TRUE(WriteFileBytes(path, WithFolder(text, m_folder)));
        ASSERT_TRUE(vwnlog::ConfigureFromFile(m_repository, path));
    }

    void Log(const wchar_t* logger, vwnlog::Level level, const wchar_t* message)
    {
        m_repository.Log(m_repository.GetLogger(logger), level, message);
    }

    vwnlog::Level LevelOf(const wchar_t* logger)
    {
        return m_repository.EffectiveLevel(m_repository.GetLogger(logger));
    }

    std::string File(const std::wstring& name) { return ReadFileBytes(m_folder / name); }

    std::vector<std::wstring> Reports() const { return m_diagnostics.Lines(); }

    DiagnosticCapture m_diagnostics;
    TempFolder m_folder{L"vwn-logtest"};
    // Last, so its files close before the folder goes.
    vwnlog::Repository m_repository;
};
} // namespace logtest
