#pragma once

#include "sim/charger-tool/Timestamp.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chargersim
{
// The arguments the program sends after the address, as the tool expects them.
constexpr const char* kReadArguments[] = {"1", "W", "1", "1", "D8"};

enum class CommandKind
{
    Read,           // "<address> 1 W 1 1 D8" for the answering address
    OtherAddress,   // the read arguments for another address (or the address written otherwise)
    OtherArguments, // anything else
};

// "0x4E": the form the program types, upper-case hexadecimal without leading zeros.
std::string AddressText(std::uint32_t address);

// Arguments without the program name. The address must match AddressText exactly: "0x4e" or
// "0x04E" is not the program's form and gets no answer, so a malformed command shows up.
CommandKind ClassifyCommand(const std::vector<std::string>& arguments, std::uint32_t address);

// The command line after the program name and the blanks that follow it, as the process got it.
// The name ends at the first blank, or at the closing quote when it starts with one.
std::string_view ArgumentsText(std::string_view commandLine);

// What became of one command, as the journal says it.
enum class Outcome
{
    Answered,         // "answered N"
    SilentStep,       // the scenario (or the override) says the chip does not answer now
    SilentAddress,    // read arguments for an address that does not answer
    SilentArguments,  // other arguments
    FailedScenario,   // the scenario file is bad: nothing done
    FailedState,      // the state or override file is bad: nothing written
    FailedOutputPath, // "OutputPath.ini" is missing or unreadable
    FailedWrite,      // the value file could not be written
    FailedIo,         // the state file could not be locked, read or written
    FaultSilent,      // "fault silent": the fault file said to write no value this once
    FaultCrash,       // "fault crash": the run ends as a crash would, without a value
    FaultHang,        // "fault hang": the run hangs for 10 minutes without a value
};

std::string OutcomeText(Outcome outcome, std::uint8_t status);

// Control characters become \xNN and a backslash \\, so one command is one line of tab-separated fields.
std::string EscapeJournalText(std::string_view text);

// "<received>\t<arguments>\t<outcome>\t<since or ->\n"
std::string JournalLine(Ticks received, std::string_view arguments, Outcome outcome, std::uint8_t status,
                        const std::optional<Ticks>& since);
} // namespace chargersim
