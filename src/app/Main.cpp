// The macOS program's entry.

#include "ApplicationStartUp.h"

namespace
{
juce::JUCEApplicationBase* createApplication()
{
    return new ApplicationStartUp();
}
} // namespace

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
