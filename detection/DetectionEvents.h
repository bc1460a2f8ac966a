#pragma once

#include <windows.h>

#include <string>

// Detection's reports to the Windows event log, each called at the one place where its event
// happens; how often each is written is the rule of logging/EventReports. The one thing
// those rules cannot know, when the last value came, is kept here: nothing on a healthy
// poll, only the first read of a run of reads without a value notes the time.

// The first of a run of reads without a value.
void NoteFirstReadWithoutValue();
// 2000: `reads` reads in a row gave no value and the command goes out again.
void ReportCommandResent(UINT32 reads, const std::wstring& toolFolder);
// 2001: the first value after a resend.
void ReportReadingsBack();
// 2002: the console was replaced; `why` names the hung run with its age, or the console's fault.
void ReportConsoleRenewed(const std::wstring& why);
// 2003: no chip answered at either address.
void ReportNoChip(UINT32 firstAddress, UINT32 secondAddress);
// 3000: detection gave up after `failedReads` reads without a value in a row.
void ReportGaveUp(UINT32 failedReads);
// 3001: the first of the tool's folder, ITERHPGen.exe, OutputPath.ini and the folder it names
// (valueFolder; empty when OutputPath.ini could not be read) that is missing; nothing when
// all are there.
void ReportIfToolUnusable(const std::wstring& toolFolder, const std::wstring& valueFolder);
