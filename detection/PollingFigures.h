#pragma once

// The detection cycle's figures. The build reads this file (cmake/PollingFigures.cmake)
// and writes them, with the times that follow from them, to polling-figures.env in the
// build folder for the scripts: keep each one a `constexpr` line of its own, `= N;`.

// The wait before each read of the value file.
constexpr unsigned kPollWaitMs = 1000;
// The time the tool is given to answer after each command typed into its console.
constexpr unsigned kToolAnswerWaitMs = 400;
// Failed reads in a row tolerated after the first, unless -retrycount says otherwise.
constexpr int kDefaultRetryCount = 50;
// After this many failed reads in a row the command is typed again.
constexpr unsigned kFailedReadsPerResend = 5;
// A tool run still going after this long is taken for hung: a resend ends it with its
// console. A younger one is left to answer, and a probe at a resend waits this long for
// its own run.
constexpr unsigned kHungRunMs = 15000;
// How long a probe at start-up, on the window's thread, waits for its own run.
constexpr unsigned kStartupProbeWaitMs = 3000;
// On mains, after this long with nothing that asks for attention (a power notice, a
// change of charging type, a failed read, a start), the cadence settles; 0 never settles.
// Group Policy may set it (SettleAfterSeconds).
constexpr unsigned kSettleAfterMs = 120000;
// Settled, a command goes out only this often (SettledPollSeconds).
constexpr unsigned kSettledPollMs = 15000;
