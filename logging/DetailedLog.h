#pragma once

// Detailed mode ("-showconsole"): lines that show internal values (paths,
// commands, addresses, read results) are written only while it is on. The shell
// sets it from the command line before any other thread starts; afterwards it is
// only read.
extern bool g_showConsole;
