#pragma once

#include "logbackend/core/Configurator.h"
#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/Repository.h"

#include "LogTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

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
        Store().clear();
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
        AcquireSRWLockExclusive(&Lock());
        std::vector<std::wstring> lines = Store();
        ReleaseSRWLockExclusive(&Lock());
        return lines;
    }
    void Clear()
    {
        AcquireSRWLockExclusive(&Lock());
        Store().clear();
        ReleaseSRWLockExclusive(&Lock());
    }

private:
    static std::vector<std::wstring>& Store()
    {
        static std::vector<std::wstring> lines;
        return lines;
    }
    static SRWLOCK& Lock()
    {
        static SRWLOCK lock = SRWLOCK_INIT;
        return lock;
    }
    static void Sink(const std::wstring& line)
    {
        AcquireSRWLockExclusive(&Lock());
        Store().push_back(line);
        ReleaseSRWLockExclusive(&Lock());
    }
};
// A repository configured from properties text in a fresh folder; "$FOLDER"
// in the text stands for that folder.
class RepositoryTest : public ::testing::Test
{
protected:
    void Apply(const std::string& text)
    {
        const std::wstring path = m_folder / L"test.properties";
        ASSERT_TRUE(WriteBytes(path, WithFolder(text, m_folder.Path())));
        ASSERT_TRUE(vwnlog::ConfigureFromFile(m_repository, path));
    }

    void Log(const wchar_t* logger, vwnlog::Level level, const wchar_t* message)
    {
        m_repository.Log(m_repository.GetLogger(logger), level, message);
    }

    std::wstring Line(size_t index)
    {
        const std::vector<std::wstring> lines = m_diagnostics.Lines();
        return index < lines.size() ? lines[index] : L"<no line " + std::to_wstring(index) + L">";
    }

    DiagnosticCapture m_diagnostics;
    TempFolder m_folder;
    // Last, so its files close before the folder goes.
    vwnlog::Repository m_repository;
};
} // namespace logtest
