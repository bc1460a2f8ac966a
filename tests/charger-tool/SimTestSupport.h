#pragma once

#include "sim/charger-tool/Scenario.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

// A scenario text the tests mean to be valid: a refusal fails the test with its line.
inline chargersim::Scenario MustParse(const std::string& text)
{
    chargersim::Scenario scenario;
    chargersim::ParseError error;
    EXPECT_TRUE(chargersim::ParseScenario(text, scenario, error))
        << "line " << error.line << ": " << error.message;
    return scenario;
}

// A text the tests mean to be refused: the refusal names `line` and `message`.
template <typename Output>
void ExpectRefused(bool (*parse)(std::string_view, Output&, chargersim::ParseError&), const std::string& text,
                   int line, const std::string& message, Output& output)
{
    chargersim::ParseError error;
    EXPECT_FALSE(parse(text, output, error));
    EXPECT_EQ(line, error.line);
    EXPECT_EQ(message, error.message);
}
