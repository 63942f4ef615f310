// The baseline for start-up time: the smallest JUCE application with the same
// kind of window (native title bar, 600 x 600 content) and a blue bar at the
// top, built in the same configuration as the installer. With the argument
// --text it also draws one line of text, which makes JUCE scan the system's
// font folders once, as every JUCE program that shows text does.

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    struct Content : juce::Component
    {
        Content() { setSize (600, 600); }
        void paint (juce::Graphics& g) override
        {
            g.fillAll (juce::Colour (0xff111111));
            g.setColour (juce::Colour (0xff0094d8));
            g.fillRect (0, 0, getWidth(), 6);

            if (withText)
                g.drawText ("PLUGIN MANAGER", getLocalBounds(), juce::Justification::centred);
        }

        const bool withText = juce::JUCEApplication::getCommandLineParameters().contains ("--text");
    };

    struct Window : juce::DocumentWindow
    {
        explicit Window (const juce::String& name)
            : DocumentWindow (name, juce::Colours::black, DocumentWindow::allButtons)
        {
            setUsingNativeTitleBar (true);
            setContentOwned (new Content(), true);
            centreWithSize (getWidth(), getHeight());
            setVisible (true);
        }
        void closeButtonPressed() override { juce::JUCEApplication::getInstance()->systemRequestedQuit(); }
    };

    struct App : juce::JUCEApplication
    {
        const juce::String getApplicationName() override    { return "minimal_window"; }
        const juce::String getApplicationVersion() override { return "1.0"; }
        void initialise (const juce::String&) override      { window = std::make_unique<Window> (getApplicationName()); }
        void shutdown() override                            { window = nullptr; }
        std::unique_ptr<Window> window;
    };
}

START_JUCE_APPLICATION (App)
