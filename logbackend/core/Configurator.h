#pragma once

#include "logbackend/core/Properties.h"
#include "logbackend/core/Repository.h"

#include <string>

namespace vwnlog
{
// Turns log4j properties into a configuration. Every problem is reported
// and skipped; what is right still works. Relative file names resolve
// against baseFolder.
Configuration BuildConfiguration(const Properties& properties, const std::wstring& baseFolder);

// Reads a properties file and puts its configuration in place. False (and
// reported) when the file cannot be read; the previous configuration stays.
bool ConfigureFromFile(Repository& repository, const std::wstring& path);

// log4j's BasicConfigurator: DEBUG and up to standard output.
Configuration BasicConfiguration();
} // namespace vwnlog
