// vwn-setup-swap: the swap a user would try while a setup makes the log folder, replayed on a
// Windows machine for setup-acceptance.cmd: Tessaly moved aside and a junction put in its place,
// between Tessaly's judgement and the log folder's step.
//   vwn-setup-swap FOLDER JUNCTION
//       makes FOLDER and its parent as both setups do (run it as an administrator); once the
//       parent is judged and held, moves it aside and JUNCTION into its place. Prints the setup's
//       lines and what the swap did.
// Exit code: 0 when the parent could not be moved and FOLDER stands in it, 1 when not, 2 wrong use.
#include "packaging/setup-actions/LogFolderRights.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{
void Say(const std::wstring& line)
{
    std::fputws((line + L"\n").c_str(), stdout);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        Say(L"usage: vwn-setup-swap FOLDER JUNCTION");
        return 2;
    }
    const std::wstring folder = argv[1];
    const std::wstring junction = argv[2];
    DWORD moveError = ERROR_SUCCESS;
    bool held = false;
    bool moved = false;
    const DWORD error = MakeLogFolder(folder,
                                      [&](const std::wstring& path, const FolderOutcome& outcome)
                                      {
                                          Say(FolderLine(path, outcome));
                                          if (held)
                                          {
                                              return;
                                          }
                                          held = true;
                                          moved = MoveFileExW(path.c_str(), (path + L".moved").c_str(), 0);
                                          moveError = moved && MoveFileExW(junction.c_str(), path.c_str(), 0)
                                                          ? ERROR_SUCCESS
                                                          : GetLastError();
                                      });
    Say((moved ? L"the parent was moved aside; the junction's move: error " : L"the parent's move: error ") +
        std::to_wstring(moveError));
    return !moved && error == ERROR_SUCCESS ? 0 : 1;
}
