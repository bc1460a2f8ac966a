#pragma once

// The detection cycle's figures. The build reads this file (cmake/PollingFigures.cmake)
// and writes them, with the times that follow from them, to polling-figures.env in the
// build folder for the scripts: keep each one a `constexpr` line of its own, `= N;`.

// After a read, the wait before the next one: a read again without a command when it
// found no value, else the next command (a slow tool sets its own pace so).
constexpr unsigned kPollWaitMs = 1000;
// A command is typed no sooner than this after the one before: a fast tool is read as
// often as when each read came a fixed kToolAnswerWaitMs after its command.
constexpr unsigned kCommandSpacingMs = 1400;
// Each read comes when the tool run of its command has ended. Where the tool's folder
// holds no ITERHPGen.exe, no run starts: the read comes this long after the command.
constexpr unsigned kToolAnswerWaitMs = 400;
// Where it does, its run may start this late (security software holds a new process).
constexpr unsigned kRunStartWaitMs = 2000;
// Failed reads in a row tolerated after the first, unless -retrycount says otherwise.
constexpr int kDefaultRetryCount = 50;
// After this many failed reads in a row the command is typed again.
constexpr unsigned kFailedReadsPerResend = 5;
// A tool run still going after this long is taken for hung: a resend ends it with its
// console. A younger one is left to answer: every read and probe waits this long at most.
constexpr unsigned kHungRunMs = 15000;
// On mains, after this long with nothing that asks for attention (a power notice, a
// change of charging type, a failed read, a start), the cadence settles; 0 never settles.
// Group Policy may set it (SettleAfterSeconds).
constexpr unsigned kSettleAfterMs = 120000;
// Settled, a command goes out only this often (SettledPollSeconds).
constexpr unsigned kSettledPollMs = 15000;
