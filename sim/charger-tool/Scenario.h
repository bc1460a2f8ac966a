#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chargersim
{
// What the simulated chip does with one read: write the value file with `status`, or stay silent.
struct Answer
{
    bool answers = true;
    std::uint8_t status = 0;

    bool operator==(const Answer& other) const
    {
        return answers == other.answers && (!answers || status == other.status);
    }
    bool operator!=(const Answer& other) const { return !(*this == other); }
};

// The unit every step length of one scenario is counted in.
enum class StepUnit
{
    None,         // no step has a length: a single step that lasts forever
    Reads,        // "for 3 commands"
    Milliseconds, // "for 10 s", "for 500 ms"
};

struct Step
{
    Answer answer;
    bool forever = true;
    // Length in the scenario's unit; min < max draws a length from the seed ("5..15 s").
    std::int64_t minLength = 0;
    std::int64_t maxLength = 0;
    std::optional<std::uint32_t> delayMs;
    std::optional<std::uint32_t> holdMs;
    int line = 0;
};

struct Scenario
{
    std::uint32_t address = 0x4E;
    std::uint32_t delayMs = 0;
    std::uint32_t holdMs = 0;
    double speed = 1.0;
    std::optional<std::uint64_t> seed;
    bool repeat = false;
    StepUnit unit = StepUnit::None;
    std::vector<Step> steps;
};

struct ParseError
{
    int line = 0;
    std::string message;
};

// A decimal count of up to 20 digits that fits 64 bits.
bool ParseUnsigned64(std::string_view text, std::uint64_t& value);

// "0x" or "0X" with at least one character after it.
bool HasHexPrefix(std::string_view text);

// A status byte, decimal or "0x" hex: the form of the scenario and of the state files.
bool ParseStatusByte(std::string_view text, std::uint8_t& status);

// Takes the next line off `text` (without its LF), for the line-based files of the simulator.
std::string_view TakeLine(std::string_view& text);

// Reads a scenario text (UTF-8, LF or CRLF, optional byte-order mark). An empty text, or one
// without steps, answers status 0 forever.
bool ParseScenario(std::string_view text, Scenario& scenario, ParseError& error);

// Where a read or an instant falls in the scenario. `begin` is in the scenario's unit.
struct StepPosition
{
    size_t step = 0;
    std::uint64_t cycle = 0;
    std::int64_t begin = 0;
};

// Longest walk through steps before a position is declared out of reach (a repeating scenario
// of very short random steps, with a start long ago).
constexpr std::uint64_t kMaxStepsWalked = 1000000;

// The length of one step in one cycle: fixed, or drawn from `seed`, always the same for the same
// seed, cycle and step.
std::int64_t StepLength(const Scenario& scenario, std::uint64_t seed, std::uint64_t cycle, size_t step);

// Finds the step that holds `position` (reads counted from 0, or scenario milliseconds since
// start). Before the first step the first holds; past the end of a scenario that does not repeat
// the last holds. False when the walk would exceed kMaxStepsWalked.
bool LocateStep(const Scenario& scenario, std::uint64_t seed, std::int64_t position, StepPosition& found);

// Where the run of steps with the same answer as `at` began: the moment the chip changed to it.
std::int64_t ChangeBegin(const Scenario& scenario, std::uint64_t seed, const StepPosition& at);
} // namespace chargersim
