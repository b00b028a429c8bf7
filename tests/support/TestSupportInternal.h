#pragma once

#include <string>

namespace ulktest
{
// Between the shared main() and the helpers.
void noteJuceAssertion (const std::string& message);
void setProcessWorkingDirectory (const std::string& dir);
} // namespace ulktest
