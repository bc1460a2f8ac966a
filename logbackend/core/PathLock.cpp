#include "logbackend/core/PathLock.h"

#include "logbackend/core/Diagnostics.h"

#include <cwchar>

namespace vwnlog
{
namespace
{
constexpr unsigned kSpinsBeforeYield = 64;
constexpr unsigned kYieldsBeforeSleep = 256;

bool ProcessHasEnded(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
    {
        // No such process any more; any other refusal means it is still there.
        return GetLastError() == ERROR_INVALID_PARAMETER;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

unsigned long long Fnv1a(const std::wstring& text)
{
    unsigned long long hash = 14695981039346656037ULL;
    for (wchar_t c : text)
    {
        hash = (hash ^ static_cast<unsigned long long>(c & 0xFF)) * 1099511628211ULL;
        hash = (hash ^ static_cast<unsigned long long>(c >> 8)) * 1099511628211ULL;
    }
    return hash;
}
} // namespace

PathLock::~PathLock()
{
    if (m_shared != &m_local)
    {
        UnmapViewOfFile(const_cast<Shared*>(m_shared));
    }
    if (m_mapping != nullptr)
    {
        CloseHandle(m_mapping);
    }
}

std::wstring PathLock::SharedName(const std::wstring& fullPath)
{
    std::wstring lower = fullPath;
    if (!lower.empty())
    {
        CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    }
    wchar_t name[64];
    swprintf(name, 64, L"Log4cxxWrapper.%016llx", Fnv1a(lower));
    return name;
}

void PathLock::Attach(const std::wstring& fullPath)
{
    const std::wstring name = SharedName(fullPath);
    m_mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), name.c_str());
    if (m_mapping == nullptr)
    {
        ReportError(L"cannot share the lock of \"" + fullPath + L"\" with other processes (" +
                    SystemErrorText(GetLastError()) + L"); their lines may mix with ours");
        return;
    }
    void* view = MapViewOfFile(m_mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared));
    if (view == nullptr)
    {
        ReportError(L"cannot map the lock of \"" + fullPath + L"\" (" + SystemErrorText(GetLastError()) +
                    L"); lines of other processes may mix with ours");
        CloseHandle(m_mapping);
        m_mapping = nullptr;
        return;
    }
    m_shared = static_cast<Shared*>(view);
}

void PathLock::Lock()
{
    const LONG self = static_cast<LONG>(GetCurrentProcessId());
    if (InterlockedCompareExchange(&m_shared->owner, self, 0) == 0)
    {
        m_ticket = InterlockedIncrement(&m_shared->acquisitions);
        return;
    }
    // Waiting time counts from the last change of hands, so a lock that keeps
    // moving between busy writers is never taken over.
    LONG lastAcquisitions = m_shared->acquisitions;
    ULONGLONG since = GetTickCount64();
    bool ownerChecked = false;
    for (unsigned round = 1;; ++round)
    {
        const LONG owner = m_shared->owner;
        if (owner == 0 && InterlockedCompareExchange(&m_shared->owner, self, 0) == 0)
        {
            m_ticket = InterlockedIncrement(&m_shared->acquisitions);
            return;
        }
        if (round < kSpinsBeforeYield)
        {
            YieldProcessor();
            continue;
        }
        if (round < kYieldsBeforeSleep)
        {
            SwitchToThread();
            continue;
        }
        Sleep(1);
        const LONG acquisitions = m_shared->acquisitions;
        const ULONGLONG now = GetTickCount64();
        if (acquisitions != lastAcquisitions)
        {
            lastAcquisitions = acquisitions;
            since = now;
            ownerChecked = false;
            continue;
        }
        if (owner == 0)
        {
            continue;
        }
        const bool checkOwner = !ownerChecked && owner != self && now - since >= kDeadOwnerCheckMs;
        const bool ended = checkOwner && ProcessHasEnded(owner);
        ownerChecked = ownerChecked || now - since >= kDeadOwnerCheckMs;
        if ((ended || now - since >= kTakeOverMs) &&
            InterlockedCompareExchange(&m_shared->owner, self, owner) == owner)
        {
            m_ticket = InterlockedIncrement(&m_shared->acquisitions);
            m_shared->lastWriter = 0;
            ReportWarning(L"took over a log file lock from process " + std::to_wstring(owner) +
                          (ended ? L", which ended while holding it" : L", which held it too long"));
            return;
        }
    }
}

void PathLock::Unlock()
{
    // Only if still ours: after a take-over the lock belongs to someone else,
    // possibly another writer of this same process.
    if (m_shared->acquisitions == m_ticket)
    {
        InterlockedCompareExchange(&m_shared->owner, 0, static_cast<LONG>(GetCurrentProcessId()));
    }
}

long PathLock::Generation() const
{
    return m_shared->generation;
}

void PathLock::BumpGeneration()
{
    InterlockedIncrement(&m_shared->generation);
}

long long PathLock::LastWriter() const
{
    return m_shared->lastWriter;
}

void PathLock::SetLastWriter(long long tag)
{
    m_shared->lastWriter = tag;
}

long long PathLock::NewWriterTag()
{
    static volatile LONG s_counter = 0;
    return (static_cast<long long>(GetCurrentProcessId()) << 32) |
           static_cast<unsigned long>(InterlockedIncrement(&s_counter));
}
} // namespace vwnlog
