#include "app/WndProc.h"

#include "app/EndReason.h"
#include "app/Globals.h"
#include "app/GlobalMutex.h"
#include "app/PowerSource.h"
#include "app/resource.h"
#include "base/ExitRequest.h"
#include "detection/ChipAccessHelper.h"
#include "logging/ApacheLogger.h"

static_assert(IDM_EXIT == kExitCommand, "File, Exit is the command that others send to end the program");

namespace
{
bool IsResumeEvent(WPARAM event)
{
    return event == PBT_APMRESUMESUSPEND || event == PBT_APMRESUMECRITICAL || event == PBT_APMRESUMEAUTOMATIC;
}

void OnDestroy()
{
    VWN_LOGW(L"[Voltwren][WndProc] *** WM_DESTROY  (0x%x) ***", WM_DESTROY);
    PostQuitMessage(0);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
}

// Closing the window or ending the session releases detection and the mutex;
// the window and the message loop stay until WM_QUIT.
void ReleaseDetectionAndMutex()
{
    ChipAccessHelper::Instance().Release();
    GlobalMutex::Instance().Release();
}

void OnClose()
{
    VWN_LOGW(L"[Voltwren][WndProc] *** WM_CLOSE (0x%x)***", WM_CLOSE);
    ReleaseDetectionAndMutex();
}

// wParam FALSE: the end of the session was cancelled and the session goes on.
// ENDSESSION_CLOSEAPP: Restart Manager (a setup) needs our files: end as File, Exit does.
void OnEndSession(HWND window, WPARAM wParam, LPARAM lParam)
{
    VWN_LOGW(L"[Voltwren][WndProc] *** WM_ENDSESSION  (0x%x) ***, wParam (0x%x)", WM_ENDSESSION,
             static_cast<unsigned>(wParam));
    if (wParam == FALSE)
    {
        return;
    }
    if ((lParam & ENDSESSION_CLOSEAPP) != 0)
    {
        VWN_LOGW(L"[Voltwren][WndProc] ENDSESSION_CLOSEAPP: the program ends.");
        NoteEndReason(EndReason::Setup);
        DestroyWindow(window);
        return;
    }
    ReleaseDetectionAndMutex();
    // The system may end the process as soon as this returns.
    NoteEndReason(EndReason::SessionEnd);
    ReportEnded();
}

// A menu or an accelerator puts 0 or 1 in the high word; others say who asks (base/ExitRequest.h).
EndReason ExitAskedBy(WORD highWord)
{
    switch (highWord)
    {
    case kExitAskedBySwitch:
        return EndReason::ExitSwitch;
    case kExitAskedBySetup:
        return EndReason::Setup;
    default:
        return EndReason::FileExit;
    }
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam))
    {
    case IDM_ABOUT:
        DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutDlgProc, 0);
        return 0;
    case IDM_EXIT:
        NoteEndReason(ExitAskedBy(HIWORD(wParam)));
        DestroyWindow(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void OnResume()
{
    VWN_LOGW(
        L"[Voltwren][WndProc] *** PBT_APMRESUMESUSPEND (wParam=0x7) | PBT_APMRESUMEAUTOMATIC (wParam=0x12) | PBT_APMRESUMECRITICAL (wParam=0x6) ***");
    g_isSuspended = false;
    VWN_LOGW(L"[Voltwren][WndProc] @@@@@ Resuming from the S3/S4 state ... @@@@@");
    ChipAccessHelper::Instance().Run(g_readPresenceStatusRetryCount);
    VWN_LOGW(L"[Voltwren][WndProc] @@@@@ Resumed from the S3/S4 state. @@@@@\n");
}

void OnSuspend()
{
    VWN_LOGW(L"[Voltwren][WndProc] *** PBT_APMSUSPEND (wParam = 0x4)***");
    if (g_isSuspended)
    {
        return;
    }
    g_isSuspended = true;
    VWN_LOGW(L"[Voltwren][WndProc] @@@@@ Getting into the S3/S4 state ... @@@@@");
    ChipAccessHelper::Instance().Stop();
    VWN_LOGW(L"[Voltwren][WndProc] @@@@@ Suspended. (PBT_APMSUSPEND) @@@@@\n");
}

// Mains or battery: detection pauses on battery and resumes on mains.
void OnPowerStatusChange()
{
    VWN_LOGW(L"[Voltwren][WndProc] *** PBT_APMPOWERSTATUSCHANGE (wParam = 0xA)***");
    ChipAccessHelper::Instance().OnPowerSource(CurrentACLineStatus(), g_readPresenceStatusRetryCount);
}

void OnPowerBroadcast(WPARAM event)
{
    VWN_LOGW(L"[Voltwren][WndProc] *** WM_POWERBROADCAST (0x%x), wParam (0x%x) ***", WM_POWERBROADCAST,
             static_cast<unsigned>(event));
    if (g_isSuspended && IsResumeEvent(event))
    {
        OnResume();
    }
    else if (event == PBT_APMSUSPEND)
    {
        OnSuspend();
    }
    else if (event == PBT_APMPOWERSTATUSCHANGE)
    {
        OnPowerStatusChange();
    }
}
} // namespace

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_ENDSESSION:
        OnEndSession(window, wParam, lParam);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam);
        return TRUE;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
