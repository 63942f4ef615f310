#include "TestEnvironment.h"
#include "../ui/MainComponent.h"
#include "../panels/panel_changelog.h"
#include "../panels/panel_eula.h"
#include "../panels/panel_settings.h"
#include "../panels/panel_support.h"

// The screen as a screen reader and a keyboard meet it. Handlers answer only
// inside a window with a native peer, so each test puts the main component
// on the desktop (Xvfb on Linux, Wine's own on Windows).

namespace juce
{
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);   // the framework's own, on both systems
}

namespace
{
    /** Delivers what the window and the framework posted meanwhile: async
        clicks, focus callbacks, repaints. */
    void pump (int ms = 30)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) ms;

        while (juce::Time::getMillisecondCounter() < end)
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
    }

    struct LiveScreen
    {
        IsolatedHome home;
        MainComponent main;
        juce::StringArray opened, announced;

        LiveScreen()
        {
            main.openUrl = [this] (const juce::URL& url) { opened.add (url.toString (false)); };
            main.announce = [this] (const juce::String& text) { announced.add (text); };
            main.addToDesktop (0);
            main.setVisible (true);
            main.grabKeyboardFocus();
            pump();
        }

        ~LiveScreen()
        {
            main.removeFromDesktop();
        }

        /** A key as the window's peer takes it from the system. */
        void press (const juce::KeyPress& key)
        {
            main.getPeer()->handleKeyPress (key);
            pump();
        }

        juce::String focusedName() const
        {
            auto* c = juce::Component::getCurrentlyFocusedComponent();
            return c == nullptr ? "(none)" : c->getName().isNotEmpty() ? c->getName() : c->getTitle();
        }

        juce::AccessibilityHandler& handlerOf (juce::Component& c)
        {
            auto* h = c.getAccessibilityHandler();
            EXPECT_NE (h, nullptr) << c.getName();
            return *h;
        }

        /** Presses as a screen reader does, then lets the click arrive. */
        void readerPress (juce::Component& c)
        {
            ASSERT_TRUE (handlerOf (c).getActions().invoke (juce::AccessibilityActionType::press)) << c.getName();
            pump();
        }
    };

    const juce::KeyPress tab (juce::KeyPress::tabKey);
    const juce::KeyPress shiftTab (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier, 0);
    const juce::KeyPress space (juce::KeyPress::spaceKey);
    const juce::KeyPress returnKey (juce::KeyPress::returnKey);
}

TEST (Keyboard, TabWalksTheMainScreenInReadingOrderAndSpaceAndReturnPress)
{
    LiveScreen s;
    EXPECT_EQ (s.focusedName(), "VST3") << "focus starts inside the window";

    juce::StringArray walked;
    for (int i = 0; i < 12; ++i)
    {
        walked.add (s.focusedName());
        s.press (tab);
    }
    EXPECT_EQ (walked.joinIntoString (" "), "VST3 CLAP AAX VST2 SELECT_ALL INSTALL EULA WEBSITE SETTINGS MANUAL SUPPORT CHANGES");
    EXPECT_EQ (s.focusedName(), "VST3") << "Tab wraps round";

    s.press (shiftTab);
    EXPECT_EQ (s.focusedName(), "CHANGES");
    s.press (tab);
    s.press (tab);
    EXPECT_EQ (s.focusedName(), "CLAP");

    s.press (space);
    EXPECT_TRUE (s.main.isSelected (clapFormat));
    s.press (returnKey);
    EXPECT_FALSE (s.main.isSelected (clapFormat));
}
