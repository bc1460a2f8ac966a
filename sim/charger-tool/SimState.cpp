#include "sim/charger-tool/SimState.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace chargersim
{
namespace
{
std::string_view Trim(std::string_view text)
{
    const char* const blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ParseAnswer(std::string_view text, Answer& answer)
{
    if (text == "none")
    {
        answer = Answer{false, 0};
        return true;
    }
    // In hex, two digits at the most.
    std::uint8_t status = 0;
    if ((HasHexPrefix(text) && text.size() > 4) || !ParseStatusByte(text, status))
        return false;
    answer = Answer{true, status};
    return true;
}

std::string FormatAnswer(const Answer& answer)
{
    return answer.answers ? std::to_string(answer.status) : "none";
}
} // namespace

bool ParseState(std::string_view text, SimState& state, ParseError& error)
{
    SimState parsed;
    int line = 0;
    while (!text.empty())
    {
        ++line;
        const std::string_view content = Trim(TakeLine(text));
        if (content.empty() || content[0] == '#')
            continue;
        const size_t equals = content.find('=');
        const std::string_view key = Trim(content.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? "" : Trim(content.substr(equals + 1));
        auto fail = [&](std::string message)
        {
            error.line = line;
            error.message = std::move(message);
            return false;
        };
        if (equals == std::string_view::npos)
            return fail("expected key=value, such as start=2024-05-01T12:00:00.000Z");
        if (key == "start" || key == "since")
        {
            Ticks instant = 0;
            if (!ParseTimestamp(value, instant))
                return fail(std::string(key) + " needs a UTC time such as 2024-05-01T12:00:00.000Z");
            (key == "start" ? parsed.start : parsed.since) = instant;
        }
        else if (key == "commands" || key == "reads" || key == "seed")
        {
            std::uint64_t count = 0;
            if (!ParseUnsigned64(value, count))
                return fail(std::string(key) + " needs a whole number");
            if (key == "seed")
                parsed.seed = count;
            else
                (key == "commands" ? parsed.commands : parsed.reads) = count;
        }
        else if (key == "last")
        {
            Answer answer;
            if (!ParseAnswer(value, answer))
                return fail("last needs a status byte from 0 to 255 or \"none\"");
            parsed.last = answer;
        }
        else
        {
            return fail("unknown key \"" + std::string(key) +
                        "\"; known: start, commands, reads, seed, last, since");
        }
    }
    state = parsed;
    return true;
}

std::string FormatState(const SimState& state)
{
    std::string text = "# Charger tool simulator state. Delete this file to start the scenario afresh.\n";
    if (state.start)
        text += "start=" + FormatTimestamp(*state.start) + "\n";
    text += "commands=" + std::to_string(state.commands) + "\n";
    text += "reads=" + std::to_string(state.reads) + "\n";
    if (state.seed)
        text += "seed=" + std::to_string(*state.seed) + "\n";
    if (state.last)
        text += "last=" + FormatAnswer(*state.last) + "\n";
    if (state.since)
        text += "since=" + FormatTimestamp(*state.since) + "\n";
    return text;
}

bool ParseOverride(std::string_view text, Answer& answer, ParseError& error)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    if (ParseAnswer(Trim(text), answer))
        return true;
    error.line = 1;
    error.message = "expected a status byte from 0 to 255 or \"none\"";
    return false;
}

bool ParseFault(std::string_view text, Fault& fault, ParseError& error)
{
    const std::pair<const char*, Fault> names[] = {
        {"silent", Fault::Silent}, {"crash", Fault::Crash}, {"hang", Fault::Hang}, {"leave", Fault::Leave}};
    const std::string_view word = Trim(text);
    for (const auto& [name, value] : names)
    {
        if (word.size() == std::string_view(name).size() &&
            std::equal(word.begin(), word.end(), name,
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
        {
            fault = value;
            return true;
        }
    }
    error.line = 1;
    error.message = "expected \"silent\", \"crash\", \"hang\" or \"leave\"";
    return false;
}

void CountCommand(SimState& state, Ticks now, std::uint64_t freshSeed)
{
    ++state.commands;
    if (!state.start)
        state.start = now;
    if (!state.seed)
        state.seed = freshSeed;
}

bool DecideRead(const Scenario& scenario, SimState& state, Ticks now,
                const std::optional<StatusOverride>& override, Reading& reading, std::string& error)
{
    ++state.reads;
    const std::uint64_t seed = scenario.seed ? *scenario.seed : state.seed.value_or(0);
    const Ticks start = state.start.value_or(now);
    Reading decided;
    decided.delayMs = scenario.delayMs;
    decided.holdMs = scenario.holdMs;

    if (override)
    {
        decided.answer = override->answer;
        decided.since = override->written;
    }
    else
    {
        std::int64_t position = 0;
        if (scenario.unit == StepUnit::Reads)
            position = static_cast<std::int64_t>(state.reads - 1);
        else if (scenario.unit == StepUnit::Milliseconds && now > start)
            position = static_cast<std::int64_t>(
                std::floor(static_cast<double>(now - start) / kTicksPerMillisecond * scenario.speed));

        StepPosition at;
        if (!LocateStep(scenario, seed, position, at))
        {
            error = "the scenario has run through more than " + std::to_string(kMaxStepsWalked) +
                    " steps since its start; delete the state file to start afresh";
            return false;
        }
        const Step& step = scenario.steps[at.step];
        decided.answer = step.answer;
        decided.delayMs = step.delayMs.value_or(scenario.delayMs);
        decided.holdMs = step.holdMs.value_or(scenario.holdMs);
        if (scenario.unit == StepUnit::Milliseconds)
        {
            // Time steps change on their own: the change happened at the step's boundary,
            // not at the read that first saw it.
            const double offset = static_cast<double>(ChangeBegin(scenario, seed, at)) * kTicksPerMillisecond;
            decided.since = start + static_cast<Ticks>(std::llround(offset / scenario.speed));
        }
        else
        {
            const bool unchanged = state.last && *state.last == decided.answer && state.since;
            decided.since = unchanged ? *state.since : now;
        }
    }

    state.last = decided.answer;
    state.since = decided.since;
    reading = decided;
    return true;
}
} // namespace chargersim
