#include "sim/charger-tool/ToolCommand.h"

#include <cstdio>

namespace chargersim
{
std::string AddressText(std::uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", static_cast<unsigned>(address));
    return text;
}

CommandKind ClassifyCommand(const std::vector<std::string>& arguments, std::uint32_t address)
{
    constexpr size_t kReadCount = sizeof(kReadArguments) / sizeof(kReadArguments[0]);
    if (arguments.size() != kReadCount + 1)
        return CommandKind::OtherArguments;
    for (size_t i = 0; i < kReadCount; ++i)
    {
        if (arguments[i + 1] != kReadArguments[i])
            return CommandKind::OtherArguments;
    }
    return arguments[0] == AddressText(address) ? CommandKind::Read : CommandKind::OtherAddress;
}

std::string_view ArgumentsText(std::string_view commandLine)
{
    size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == '"')
    {
        const size_t close = commandLine.find('"', 1);
        pos = close == std::string_view::npos ? commandLine.size() : close + 1;
    }
    while (pos < commandLine.size() && commandLine[pos] != ' ' && commandLine[pos] != '\t')
        ++pos;
    while (pos < commandLine.size() && (commandLine[pos] == ' ' || commandLine[pos] == '\t'))
        ++pos;
    return commandLine.substr(pos);
}

std::string OutcomeText(Outcome outcome, std::uint8_t status)
{
    switch (outcome)
    {
    case Outcome::Answered:
        return "answered " + std::to_string(status);
    case Outcome::SilentStep:
        return "silent step";
    case Outcome::SilentAddress:
        return "silent address";
    case Outcome::SilentArguments:
        return "silent arguments";
    case Outcome::FailedScenario:
        return "failed scenario";
    case Outcome::FailedState:
        return "failed state";
    case Outcome::FailedOutputPath:
        return "failed output-path";
    case Outcome::FailedWrite:
        return "failed write";
    case Outcome::FailedIo:
        return "failed io";
    case Outcome::FaultSilent:
        return "fault silent";
    case Outcome::FaultCrash:
        return "fault crash";
    case Outcome::FaultHang:
        return "fault hang";
    }
    return "failed";
}

std::string EscapeJournalText(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\')
        {
            escaped += "\\\\";
        }
        else if (byte < 0x20 || byte == 0x7F)
        {
            char code[8];
            std::snprintf(code, sizeof(code), "\\x%02X", byte);
            escaped += code;
        }
        else
        {
            escaped += c;
        }
    }
    return escaped;
}

std::string JournalLine(Ticks received, std::string_view arguments, Outcome outcome, std::uint8_t status,
                        const std::optional<Ticks>& since)
{
    return FormatTimestamp(received) + "\t" + EscapeJournalText(arguments) + "\t" +
           OutcomeText(outcome, status) + "\t" + (since ? FormatTimestamp(*since) : std::string("-")) + "\n";
}
} // namespace chargersim
