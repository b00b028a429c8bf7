#include <sim_control/ControlWindow.h>
#include <sim_control/ProgramHook.h>

#include <VirtualHidBus.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

namespace simctl
{
namespace
{
constexpr int plugDelayMs = 1000;
constexpr int windowGap = 16;
constexpr int pollMs = 250;

std::string environment (const char* name)
{
    const char* value = std::getenv (name);
    return value != nullptr ? value : "";
}

std::optional<Model> modelNamed (const std::string& name)
{
    if (name == nameOf (Model::km3300))
        return Model::km3300;
    if (name == nameOf (Model::km3800))
        return Model::km3800;
    return std::nullopt;
}

/** The run's world and window; JUCE deletes it when the program ends.  It
    looks at the controllers itself too, so that their log lines come with or
    without the window. */
class Run : public juce::DeletedAtShutdown, private juce::Timer
{
public:
    explicit Run (const std::string& logPath)
    {
        if (!logPath.empty())
            logFile.open (logPath, std::ios::app);
        world = std::make_unique<SimulatedWorld> ([this] (const std::string& line) { say (line); });
        startTimer (pollMs);
    }

    ~Run() override
    {
        stopTimer();
        window.reset();
        world.reset();
        current = nullptr;
    }

    void say (const std::string& line)
    {
        std::cout << "simulated: " << line << std::endl;
        if (logFile.is_open())
            logFile << line << std::endl;
    }

    void showWindow()
    {
        window = std::make_unique<ControlWindow> (*world);
        window->setTopLeftPosition (placeBesideProgram (window->getWidth(), window->getHeight()));
        window->setVisible (true);
        say ("window shown: Simulated controllers");
    }

    static Run* current;
    std::unique_ptr<SimulatedWorld> world;
    std::unique_ptr<ControlWindow> window;

private:
    /** Right of the program's window, or left of it when the screen ends first. */
    static juce::Point<int> placeBesideProgram (int width, int height)
    {
        const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
        const auto area = display != nullptr ? display->userArea : juce::Rectangle<int> (0, 0, 1280, 1024);
        juce::Rectangle<int> program (area.getCentreX() - 225, area.getCentreY() - 213, 450, 426);
        for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
            if (auto* w = juce::TopLevelWindow::getTopLevelWindow (i);
                w != nullptr && w->getName() == "ULK Updater")
                program = w->getBounds();

        int x = program.getRight() + windowGap;
        if (x + width > area.getRight())
            x = juce::jmax (area.getX(), program.getX() - windowGap - width);
        const int y =
            juce::jlimit (area.getY(), juce::jmax (area.getY(), area.getBottom() - height), program.getY());
        return { x, y };
    }

    void timerCallback() override
    {
        world->poll (Model::km3300);
        world->poll (Model::km3800);
    }

    std::ofstream logFile;
};

Run* Run::current = nullptr;
} // namespace

void startWithProgram()
{
    if (!juce::MessageManager::existsAndIsCurrentThread())
        return;
    static bool started = false;
    if (started)
        return;
    started = true;

    const bool control = environment ("ULK_SIM_CONTROL") == "1";
    const auto plug = environment ("ULK_SIM_PLUG");
    const auto logPath = environment ("ULK_SIM_LOG");
    const auto document = environment ("ULK_SIM_OPEN");
    if (!control && plug.empty() && logPath.empty() && document.empty())
        return;

    sim::VirtualHidBus::instance().setPacing (true);
    Run::current = new Run (logPath);

    const auto model = modelNamed (plug);
    if (!plug.empty() && !model.has_value())
        Run::current->say ("ULK_SIM_PLUG names no simulated controller: " + plug);

    // Runs once the program has finished building itself and its window shows.
    juce::MessageManager::callAsync (
        [control, model, document]
        {
            if (Run::current == nullptr)
                return;
            if (control)
                Run::current->showWindow();
            // As a Mac hands a document to open to the running program: the
            // path in double quotes.
            if (auto* app = juce::JUCEApplicationBase::getInstance(); app != nullptr && !document.empty())
            {
                Run::current->say ("asked the program to open " + document);
                app->anotherInstanceStarted ("\"" + document + "\"");
            }
            if (model.has_value())
                juce::Timer::callAfterDelay (plugDelayMs,
                                             [m = *model]
                                             {
                                                 if (Run::current != nullptr)
                                                     Run::current->world->plugIn (m);
                                             });
        });
}
} // namespace simctl
