#pragma once

#include "sim/charger-tool/Scenario.h"
#include "sim/charger-tool/Timestamp.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace chargersim
{
// What the simulator keeps between its runs (each command is a new process).
// Missing fields take their fresh-start values, so a bench may write "start=..." alone.
struct SimState
{
    std::optional<Ticks> start; // the first command after a fresh start; time steps count from here
    std::uint64_t commands = 0; // every command line received
    std::uint64_t reads = 0;    // commands for the answering address with the read arguments
    std::optional<std::uint64_t> seed;
    std::optional<Answer> last; // the answer to the latest read
    std::optional<Ticks> since; // when the chip took on `last`
};

bool ParseState(std::string_view text, SimState& state, ParseError& error);
std::string FormatState(const SimState& state);

// The bench's "status override" file: a status byte, or "none" for no answer.
bool ParseOverride(std::string_view text, Answer& answer, ParseError& error);

// A fault the next read plays, once: no value file, a crash, a run that hangs, or a
// run that answers as usual but leaves a process of another image behind it.
enum class Fault
{
    Silent,
    Crash,
    Hang,
    Leave,
};

// The test's "fault" file: "silent", "crash", "hang" or "leave", in any case, with blanks around it.
bool ParseFault(std::string_view text, Fault& fault, ParseError& error);

struct StatusOverride
{
    Answer answer;
    Ticks written = 0; // the file's last write time: when the bench changed the status
};

// The decision for one read.
struct Reading
{
    Answer answer;
    Ticks since = 0; // when the chip took on this answer
    std::uint32_t delayMs = 0;
    std::uint32_t holdMs = 0;
};

// Counts a command line of any kind; the first after a fresh start fixes the start time and,
// unless the scenario names one, the seed.
void CountCommand(SimState& state, Ticks now, std::uint64_t freshSeed);

// Counts one read (after CountCommand) and decides its answer from the override, else from the
// scenario. False, with `error` set, when the scenario position is out of reach.
bool DecideRead(const Scenario& scenario, SimState& state, Ticks now,
                const std::optional<StatusOverride>& override, Reading& reading, std::string& error);
} // namespace chargersim
