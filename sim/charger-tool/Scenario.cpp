#include "sim/charger-tool/Scenario.h"

#include <cctype>
#include <cstdio>

namespace chargersim
{
namespace
{
// Longest step: about 300 years, enough for any "far in the future" test.
constexpr std::int64_t kMaxLengthMs = 10000000000000LL;
constexpr std::int64_t kMaxLengthReads = 1000000000000LL;
// A delay or hold keeps the process alive and cmd.exe waiting: ten minutes at most.
constexpr std::int64_t kMaxWaitMs = 600000;
constexpr std::int64_t kSpeedScale = 1000000;
constexpr std::int64_t kMaxSpeedScaled = 1000 * kSpeedScale;

const char kDirectives[] = "address, delay, hold, speed, seed, repeat, status or none";

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

bool SameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// A decimal number scaled by 10^fractionDigits: ("1.5", 3) gives 1500. No sign, no exponent.
bool ParseScaled(std::string_view text, int fractionDigits, std::int64_t limit, std::int64_t& scaled)
{
    std::int64_t value = 0;
    size_t pos = 0;
    size_t integerDigits = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos, ++integerDigits)
    {
        value = value * 10 + (text[pos] - '0');
        if (value > limit)
            return false;
    }
    if (integerDigits == 0)
        return false;
    int digits = 0;
    if (pos < text.size() && text[pos] == '.')
    {
        ++pos;
        for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos)
        {
            if (++digits > fractionDigits)
                return false;
            value = value * 10 + (text[pos] - '0');
            if (value > limit)
                return false;
        }
        if (digits == 0)
            return false;
    }
    if (pos != text.size())
        return false;
    for (; digits < fractionDigits; ++digits)
    {
        value *= 10;
        if (value > limit)
            return false;
    }
    scaled = value;
    return true;
}

// Digits in `base` (10 or 16) up to `limit`, with no sign, blank or prefix.
bool ParseDigits(std::string_view digits, unsigned base, size_t maxDigits, std::uint64_t limit,
                 std::uint64_t& value)
{
    if (digits.empty() || digits.size() > maxDigits)
        return false;
    value = 0;
    for (char c : digits)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (base == 16 ? !std::isxdigit(byte) : !std::isdigit(byte))
            return false;
        const std::uint64_t digit =
            static_cast<std::uint64_t>(std::isdigit(byte) ? c - '0' : std::tolower(byte) - 'a' + 10);
        if (digit > limit || value > (limit - digit) / base)
            return false;
        value = value * base + digit;
    }
    return true;
}

bool ParseHex(std::string_view digits, std::uint64_t limit, std::uint64_t& value)
{
    return ParseDigits(digits, 16, 16, limit, value);
}

} // namespace

bool ParseUnsigned64(std::string_view text, std::uint64_t& value)
{
    return ParseDigits(text, 10, 20, UINT64_MAX, value);
}

bool HasHexPrefix(std::string_view text)
{
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool ParseStatusByte(std::string_view text, std::uint8_t& status)
{
    std::uint64_t value = 0;
    const bool ok = HasHexPrefix(text) ? ParseHex(text.substr(2), 0xFF, value)
                                       : (ParseUnsigned64(text, value) && value <= 0xFF);
    status = static_cast<std::uint8_t>(value);
    return ok;
}

namespace
{
bool ParseAddress(std::string_view text, std::uint32_t& address)
{
    std::uint64_t value = 0;
    if (!HasHexPrefix(text) || text.size() > 10 || !ParseHex(text.substr(2), 0xFFFFFFFFu, value))
        return false;
    address = static_cast<std::uint32_t>(value);
    return true;
}

// The words of one line, comment removed.
std::vector<std::string> SplitWords(std::string_view line)
{
    const size_t hash = line.find('#');
    if (hash != std::string_view::npos)
        line = line.substr(0, hash);
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < line.size())
    {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        const size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
            ++pos;
        if (pos > start)
            words.emplace_back(line.substr(start, pos - start));
    }
    return words;
}

bool IsUnitWord(std::string_view word)
{
    return SameWord(word, "ms") || SameWord(word, "s") || SameWord(word, "command") ||
           SameWord(word, "commands");
}

// Where things were first said, for the checks that span lines.
struct SeenLines
{
    int unit = 0;
    int address = 0;
    int delay = 0;
    int hold = 0;
    int speed = 0;
    int seed = 0;
    int repeat = 0;
};

// Parses one line's words into the scenario built so far.
class LineParser
{
public:
    LineParser(Scenario& scenario, SeenLines& seen, int line, const std::vector<std::string>& words,
               ParseError& error)
        : m_scenario(scenario), m_seen(seen), m_line(line), m_words(words), m_error(error)
    {
    }

    bool Parse();

private:
    bool Fail(std::string message)
    {
        m_error.line = m_line;
        m_error.message = std::move(message);
        return false;
    }
    bool AtEnd() const { return m_pos >= m_words.size(); }
    const std::string& Take() { return m_words[m_pos++]; }

    // "300ms", "300 ms", "1.5s", "5..15 s", "3 commands": the number part and the unit word.
    bool TakeQuantity(std::string_view what, std::string& number, std::string& unit);
    bool TakeWait(std::string_view what, std::uint32_t& ms);
    bool TakeLength(Step& step, StepUnit& unit);
    bool ParseStep(bool answers);
    bool OnlyOnce(int& firstLine, std::string_view word);
    bool ExpectEnd(std::string_view after);

    Scenario& m_scenario;
    SeenLines& m_seen;
    int m_line;
    const std::vector<std::string>& m_words;
    ParseError& m_error;
    size_t m_pos = 0;
};

bool LineParser::OnlyOnce(int& firstLine, std::string_view word)
{
    if (firstLine != 0)
        return Fail(Quoted(word) + " is given twice (first on line " + std::to_string(firstLine) + ")");
    firstLine = m_line;
    return true;
}

bool LineParser::ExpectEnd(std::string_view after)
{
    if (AtEnd())
        return true;
    return Fail("unexpected " + Quoted(m_words[m_pos]) + " after " + std::string(after));
}

bool LineParser::TakeQuantity(std::string_view what, std::string& number, std::string& unit)
{
    if (AtEnd())
        return Fail(std::string(what) + " needs a value with a unit");
    const std::string& word = Take();
    size_t split = 0;
    while (split < word.size() &&
           (std::isdigit(static_cast<unsigned char>(word[split])) || word[split] == '.'))
        ++split;
    number = word.substr(0, split);
    unit = word.substr(split);
    if (number.empty())
        return Fail(std::string(what) + " needs a number, not " + Quoted(word));
    if (unit.empty() && !AtEnd() && IsUnitWord(m_words[m_pos]))
        unit = Take();
    if (unit.empty())
        return Fail(Quoted(word) + " needs a unit");
    return true;
}

bool LineParser::TakeWait(std::string_view what, std::uint32_t& ms)
{
    std::string number;
    std::string unit;
    if (!TakeQuantity(what, number, unit))
        return false;
    std::int64_t value = 0;
    bool ok = false;
    if (SameWord(unit, "ms"))
        ok = ParseScaled(number, 0, kMaxWaitMs, value);
    else if (SameWord(unit, "s"))
        ok = ParseScaled(number, 3, kMaxWaitMs, value);
    else
        return Fail(std::string(what) + " is a time: use ms or s, not " + Quoted(unit));
    if (!ok)
        return Fail(std::string(what) + " must be a time from 0 to 600 s, not " +
                    Quoted(number + " " + unit));
    ms = static_cast<std::uint32_t>(value);
    return true;
}

bool LineParser::TakeLength(Step& step, StepUnit& unit)
{
    std::string number;
    std::string unitWord;
    if (!TakeQuantity("\"for\"", number, unitWord))
        return false;
    int fractionDigits = 0;
    std::int64_t limit = 0;
    if (SameWord(unitWord, "command") || SameWord(unitWord, "commands"))
    {
        unit = StepUnit::Reads;
        limit = kMaxLengthReads;
    }
    else if (SameWord(unitWord, "s") || SameWord(unitWord, "ms"))
    {
        unit = StepUnit::Milliseconds;
        fractionDigits = SameWord(unitWord, "s") ? 3 : 0;
        limit = kMaxLengthMs;
    }
    else
    {
        return Fail("a step lasts a number of commands, s or ms, not " + Quoted(unitWord));
    }
    const size_t dots = number.find("..");
    const std::string first = number.substr(0, dots);
    const std::string last = dots == std::string::npos ? first : number.substr(dots + 2);
    if (!ParseScaled(first, fractionDigits, limit, step.minLength) ||
        !ParseScaled(last, fractionDigits, limit, step.maxLength))
        return Fail(Quoted(number + " " + unitWord) + " is not a length such as \"3 commands\", \"10 s\", " +
                    "\"500 ms\" or \"5..15 s\"");
    if (step.minLength < 1)
        return Fail("a step must last at least 1 " + std::string(unit == StepUnit::Reads ? "command" : "ms"));
    if (step.minLength > step.maxLength)
        return Fail("the range " + Quoted(number) + " runs backwards");
    step.forever = false;
    return true;
}

bool LineParser::ParseStep(bool answers)
{
    Step step;
    step.line = m_line;
    step.answer.answers = answers;
    if (answers)
    {
        if (AtEnd())
            return Fail("\"status\" needs a byte from 0 to 255");
        const std::string& value = Take();
        if (!ParseStatusByte(value, step.answer.status))
            return Fail(Quoted(value) + " is not a status byte from 0 to 255");
    }
    StepUnit unit = StepUnit::None;
    while (!AtEnd())
    {
        const std::string& word = Take();
        if (SameWord(word, "for") && step.forever)
        {
            if (!TakeLength(step, unit))
                return false;
        }
        else if (answers && SameWord(word, "delay") && !step.delayMs)
        {
            step.delayMs = 0;
            if (!TakeWait("\"delay\"", *step.delayMs))
                return false;
        }
        else if (answers && SameWord(word, "hold") && !step.holdMs)
        {
            step.holdMs = 0;
            if (!TakeWait("\"hold\"", *step.holdMs))
                return false;
        }
        else
        {
            return Fail(
                "unexpected " + Quoted(word) + " in a step; a step reads " +
                (answers ? "\"status N [for LENGTH] [delay TIME] [hold TIME]\"" : "\"none [for LENGTH]\""));
        }
    }

    std::vector<Step>& steps = m_scenario.steps;
    if (!steps.empty() && steps.back().forever)
    {
        m_error.line = steps.back().line;
        m_error.message = "only the last step may go on forever; give this one a length with \"for\"";
        return false;
    }
    if (unit != StepUnit::None)
    {
        if (m_scenario.unit == StepUnit::None)
        {
            m_scenario.unit = unit;
            m_seen.unit = m_line;
        }
        else if (m_scenario.unit != unit)
        {
            return Fail(std::string("this step is counted in ") +
                        (unit == StepUnit::Reads ? "commands" : "time") + ", the one on line " +
                        std::to_string(m_seen.unit) + " in " +
                        (unit == StepUnit::Reads ? "time" : "commands") + "; use one unit per scenario");
        }
    }
    steps.push_back(step);
    return true;
}

bool LineParser::Parse()
{
    if (AtEnd())
        return true;
    const std::string& word = Take();
    if (SameWord(word, "status") || SameWord(word, "none"))
        return ParseStep(SameWord(word, "status"));
    if (SameWord(word, "repeat"))
    {
        if (!OnlyOnce(m_seen.repeat, "repeat"))
            return false;
        m_scenario.repeat = true;
        return ExpectEnd("\"repeat\"");
    }
    if (SameWord(word, "address"))
    {
        if (!OnlyOnce(m_seen.address, "address"))
            return false;
        if (AtEnd() || !ParseAddress(m_words[m_pos], m_scenario.address))
            return Fail("\"address\" needs a hexadecimal slave address such as 0x4E");
        ++m_pos;
        return ExpectEnd("the address");
    }
    if (SameWord(word, "delay"))
        return OnlyOnce(m_seen.delay, "delay") && TakeWait("\"delay\"", m_scenario.delayMs) &&
               ExpectEnd("the delay");
    if (SameWord(word, "hold"))
        return OnlyOnce(m_seen.hold, "hold") && TakeWait("\"hold\"", m_scenario.holdMs) &&
               ExpectEnd("the hold time");
    if (SameWord(word, "speed"))
    {
        if (!OnlyOnce(m_seen.speed, "speed"))
            return false;
        std::int64_t scaled = 0;
        if (AtEnd() || !ParseScaled(m_words[m_pos], 6, kMaxSpeedScaled, scaled) || scaled == 0)
            return Fail("\"speed\" needs a number above 0 and at most 1000, such as 0.5 or 2");
        ++m_pos;
        m_scenario.speed = static_cast<double>(scaled) / kSpeedScale;
        return ExpectEnd("the speed");
    }
    if (SameWord(word, "seed"))
    {
        if (!OnlyOnce(m_seen.seed, "seed"))
            return false;
        std::uint64_t seed = 0;
        if (AtEnd() || !ParseUnsigned64(m_words[m_pos], seed))
            return Fail("\"seed\" needs a whole number from 0 to 18446744073709551615");
        ++m_pos;
        m_scenario.seed = seed;
        return ExpectEnd("the seed");
    }
    return Fail("unknown word " + Quoted(word) + "; a line starts with " + kDirectives);
}

std::uint64_t SplitMix64(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool HasRandomLengths(const Scenario& scenario)
{
    for (const Step& step : scenario.steps)
    {
        if (step.minLength != step.maxLength)
            return true;
    }
    return false;
}
} // namespace

std::string_view TakeLine(std::string_view& text)
{
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

bool ParseScenario(std::string_view text, Scenario& scenario, ParseError& error)
{
    Scenario parsed;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    SeenLines seen;
    int line = 0;
    while (!text.empty())
    {
        ++line;
        std::string_view content = TakeLine(text);
        if (!content.empty() && content.back() == '\r')
            content.remove_suffix(1);
        if (content.find('\0') != std::string_view::npos)
        {
            error.line = line;
            error.message = "the line holds a zero byte; a scenario is a text file";
            return false;
        }
        const std::vector<std::string> words = SplitWords(content);
        LineParser parser(parsed, seen, line, words, error);
        if (!parser.Parse())
            return false;
    }

    if (parsed.unit == StepUnit::Reads && seen.speed != 0)
    {
        error.line = seen.speed;
        error.message = "\"speed\" applies to steps counted in time, and these steps count commands";
        return false;
    }
    if (parsed.repeat && (parsed.steps.empty() || parsed.steps.back().forever))
    {
        error.line = seen.repeat;
        error.message = "\"repeat\" needs every step to have a length (\"for ...\")";
        return false;
    }
    if (parsed.steps.empty())
        parsed.steps.push_back(Step{});
    scenario = parsed;
    return true;
}

std::int64_t StepLength(const Scenario& scenario, std::uint64_t seed, std::uint64_t cycle, size_t step)
{
    const Step& s = scenario.steps[step];
    if (s.minLength == s.maxLength)
        return s.minLength;
    const std::uint64_t draw = SplitMix64(SplitMix64(SplitMix64(seed) ^ cycle) ^ step);
    const std::uint64_t span = static_cast<std::uint64_t>(s.maxLength - s.minLength) + 1;
    return s.minLength + static_cast<std::int64_t>(draw % span);
}

bool LocateStep(const Scenario& scenario, std::uint64_t seed, std::int64_t position, StepPosition& found)
{
    const size_t count = scenario.steps.size();
    if (position < 0)
        position = 0;
    if (!scenario.repeat)
    {
        std::int64_t begin = 0;
        for (size_t step = 0; step < count; ++step)
        {
            const Step& s = scenario.steps[step];
            const std::int64_t length = s.forever ? 0 : StepLength(scenario, seed, 0, step);
            if (s.forever || step + 1 == count || position < begin + length)
            {
                found = StepPosition{step, 0, begin};
                return true;
            }
            begin += length;
        }
        return false;
    }

    std::uint64_t cycle = 0;
    std::int64_t begin = 0;
    if (!HasRandomLengths(scenario))
    {
        std::int64_t cycleLength = 0;
        for (size_t step = 0; step < count; ++step)
            cycleLength += StepLength(scenario, seed, 0, step);
        cycle = static_cast<std::uint64_t>(position / cycleLength);
        begin = static_cast<std::int64_t>(cycle) * cycleLength;
    }
    for (std::uint64_t walked = 0; walked < kMaxStepsWalked;)
    {
        for (size_t step = 0; step < count; ++step, ++walked)
        {
            const std::int64_t length = StepLength(scenario, seed, cycle, step);
            if (position < begin + length)
            {
                found = StepPosition{step, cycle, begin};
                return true;
            }
            begin += length;
        }
        ++cycle;
    }
    return false;
}

std::int64_t ChangeBegin(const Scenario& scenario, std::uint64_t seed, const StepPosition& at)
{
    const size_t count = scenario.steps.size();
    const Answer answer = scenario.steps[at.step].answer;
    std::uint64_t cycle = at.cycle;
    size_t step = at.step;
    std::int64_t begin = at.begin;
    // One full cycle back at most: a scenario whose steps all answer alike changed at its start.
    for (size_t walked = 0; walked + 1 < count; ++walked)
    {
        if (step > 0)
        {
            --step;
        }
        else if (scenario.repeat && cycle > 0)
        {
            --cycle;
            step = count - 1;
        }
        else
        {
            break;
        }
        if (scenario.steps[step].answer != answer)
            break;
        begin -= StepLength(scenario, seed, cycle, step);
    }
    return begin;
}
} // namespace chargersim
