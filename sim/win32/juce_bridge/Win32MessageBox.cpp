// The stand-in's message boxes as real windows on Linux, made of JUCE
// components: the caption in the title bar, the icon the box's flags ask
// for, the text and one OK button.  The box's modal loop on JUCE's message
// thread is JUCE's own dispatch loop, as on Windows, where JUCE's messages are
// window messages that the box's loop dispatches.

#include "Win32MessageBridge.h"
#include "X11Wake.h"

#include <windows.h>

#include <sim_win32/Win32StandIn.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <mutex>

namespace simwin
{
namespace
{
enum class Icon
{
    none,
    error,
    question,
    warning,
    information
};

Icon iconOf (UINT type)
{
    switch (type & MB_ICONMASK)
    {
        case MB_ICONERROR:
            return Icon::error;
        case MB_ICONQUESTION:
            return Icon::question;
        case MB_ICONWARNING:
            return Icon::warning;
        case MB_ICONINFORMATION:
            return Icon::information;
        default:
            return Icon::none;
    }
}

/** MessageBoxA reads its strings in the ANSI code page, 1252 in Western
    locales, not as UTF-8: bytes above 0x7F are one character each. */
juce::String fromAnsi (const std::string& text)
{
    // 0x80-0x9F of code page 1252; the rest above 0x7F is Latin-1.  The five
    // unassigned bytes come out as themselves, as Windows maps them.
    static const juce::juce_wchar high[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178
    };
    juce::String result;
    for (const char c : text)
    {
        const auto byte = (unsigned char) c;
        result += byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : (juce::juce_wchar) byte;
    }
    return result;
}

const char* nameOf (Icon icon)
{
    switch (icon)
    {
        case Icon::error:
            return "error";
        case Icon::question:
            return "question";
        case Icon::warning:
            return "warning";
        case Icon::information:
            return "information";
        case Icon::none:
            break;
    }
    return "none";
}

void drawIcon (juce::Graphics& g, Icon icon, juce::Rectangle<float> area)
{
    const juce::Font mark (area.getHeight() * 0.7f, juce::Font::bold);
    switch (icon)
    {
        case Icon::none:
            return;
        case Icon::warning:
        {
            juce::Path triangle;
            triangle.addTriangle (area.getCentreX(), area.getY(), area.getRight(), area.getBottom(),
                                  area.getX(), area.getBottom());
            g.setColour (juce::Colour (0xffffc800));
            g.fillPath (triangle);
            g.setColour (juce::Colours::black);
            g.setFont (mark);
            g.drawText ("!", area.withTrimmedTop (area.getHeight() * 0.2f), juce::Justification::centred);
            return;
        }
        case Icon::error:
        case Icon::question:
        case Icon::information:
        {
            g.setColour (icon == Icon::error ? juce::Colour (0xffd83b01) : juce::Colour (0xff1a63c8));
            g.fillEllipse (area);
            g.setColour (juce::Colours::white);
            g.setFont (mark);
            g.drawText (icon == Icon::error ? "X" : (icon == Icon::question ? "?" : "i"), area,
                        juce::Justification::centred);
            return;
        }
    }
}

/** The box's inside: icon, text and the OK button. */
class BoxContent final : public juce::Component
{
public:
    BoxContent (const MessageBoxRecord& record, std::function<void()> pressOk)
        : icon (iconOf (record.type))
    {
        // For people and tests looking at the window: the icon it shows.
        setComponentID (nameOf (icon));
        setName (fromAnsi (record.text));
        text.append (fromAnsi (record.text), juce::Font (15.0f), juce::Colours::black);
        text.setWordWrap (juce::AttributedString::byWord);
        layout.createLayout (text, maxTextWidth);

        ok.setButtonText ("OK");
        ok.onClick = std::move (pressOk);
        ok.addShortcut (juce::KeyPress (juce::KeyPress::returnKey));
        ok.addShortcut (juce::KeyPress (juce::KeyPress::escapeKey));
        addAndMakeVisible (ok);

        const int textWidth = juce::jmax (120, (int) std::ceil (layout.getWidth()));
        const int textHeight = juce::jmax (iconSize, (int) std::ceil (layout.getHeight()));
        setSize (margin + iconWidth() + textWidth + margin,
                 margin + textHeight + margin + buttonHeight + margin);
    }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colours::white);
        g.setColour (juce::Colour (0xfff0f0f0));
        g.fillRect (getLocalBounds().removeFromBottom (buttonHeight + 2 * margin));
        drawIcon (
            g, icon,
            juce::Rectangle<float> ((float) margin, (float) margin, (float) iconSize, (float) iconSize));
        layout.draw (g, juce::Rectangle<float> ((float) (margin + iconWidth()), (float) margin,
                                                layout.getWidth(), layout.getHeight()));
    }

    void resized() override
    {
        ok.setBounds (getWidth() - margin - 88, getHeight() - margin - buttonHeight, 88, buttonHeight);
    }

private:
    static constexpr int margin = 16;
    static constexpr int iconSize = 32;
    static constexpr int buttonHeight = 26;
    static constexpr float maxTextWidth = 420.0f;

    int iconWidth() const { return icon == Icon::none ? 0 : iconSize + margin; }

    const Icon icon;
    juce::AttributedString text;
    juce::TextLayout layout;
    juce::TextButton ok;
};

/** A top-level window of its own, owned by no other window (the program's
    boxes have no owner), and not JUCE-modal: the main window stays usable. */
class BoxWindow final : public juce::DocumentWindow
{
public:
    BoxWindow (const MessageBoxRecord& record, std::function<void()> pressOk)
        : juce::DocumentWindow (fromAnsi (record.caption), juce::Colours::white,
                                juce::DocumentWindow::closeButton)
        , close (pressOk)
    {
        setUsingNativeTitleBar (false);
        setContentOwned (new BoxContent (record, std::move (pressOk)), true);
        centreWithSize (getWidth(), getHeight());
        setAlwaysOnTop ((record.type & MB_TOPMOST) != 0);
        setVisible (true);
        toFront (true);
    }

    // A box with only an OK button gives IDOK for its close button too.
    void closeButtonPressed() override { close(); }

private:
    std::function<void()> close;
};

/** One box's window, made and destroyed on the message thread. */
struct Shown
{
    std::mutex lock;
    bool takenDown = false;
    std::unique_ptr<BoxWindow> window;
};

bool canShowWindows()
{
    // Without an X display JUCE cannot make a window at all.
    return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr;
}

std::function<void()> showBox (const MessageBoxRecord& record, std::function<void()> pressOk)
{
    auto* manager = juce::MessageManager::getInstanceWithoutCreating();
    if (manager == nullptr)
        return {};

    auto shown = std::make_shared<Shown>();
    const auto make = [shown, record, pressOk]
    {
        std::lock_guard<std::mutex> guard (shown->lock);
        if (!shown->takenDown && canShowWindows())
        {
            shown->window = std::make_unique<BoxWindow> (record, pressOk);
            wakeJuceEventLoopSoon();
        }
    };
    const auto destroy = [shown]
    {
        std::unique_ptr<BoxWindow> window;
        {
            std::lock_guard<std::mutex> guard (shown->lock);
            shown->takenDown = true;
            window = std::move (shown->window);
        }
        if (window != nullptr)
        {
            window = nullptr;
            wakeJuceEventLoopSoon();
        }
    };

    if (manager->isThisTheMessageThread())
    {
        make();
        return destroy;
    }
    // A box of another thread: its window lives on the message thread.
    juce::MessageManager::callAsync (make);
    return [destroy] { juce::MessageManager::callAsync (destroy); };
}

bool runJuceLoop (int ms)
{
    if (!juce::MessageManager::existsAndIsCurrentThread())
        return false;
    // Once JUCE has been told to quit its loop dispatches nothing more.
    serviceThreadQueue();
    return juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}
} // namespace

void useJuceMessageBoxes()
{
    setMessageBoxUi ({ &showBox, &runJuceLoop });
}
} // namespace simwin
