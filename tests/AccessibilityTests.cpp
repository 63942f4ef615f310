#include "TestEnvironment.h"
#include "FaultyFileSystem.h"
#include "LiveWindow.h"
#include "../install/FormatCatalogue.h"
#include "../install/InstallDetection.h"
#include "../ui/MainComponent.h"
#include "../panels/panel_changelog.h"
#include "../panels/panel_eula.h"
#include "../panels/panel_settings.h"
#include "../panels/panel_support.h"

// The screen as a screen reader and a keyboard meet it. Handlers answer only
// inside a window with a native peer, so each test puts the main component
// on the desktop (Xvfb on Linux, Wine's own on Windows).

namespace
{
    struct LiveScreen
    {
        IsolatedHome home;
        MainComponent main;
        juce::StringArray opened, announced;

        /** As the program's window holds the screen: the window itself takes
            no focus, so that when the system gives it focus, a control of the
            screen that had it keeps it. */
        juce::Component window;

        LiveScreen()
        {
            main.openUrl = [this] (const juce::URL& url) { opened.add (url.toString (false)); return true; };
            main.announce = [this] (const juce::String& text) { announced.add (text); };
            FocusRing::setShown (false);          // as at the program's start
            window.setSize (main.getWidth(), main.getHeight());
            window.addAndMakeVisible (main);
            window.addToDesktop (0);
            window.setVisible (true);
            main.grabKeyboardFocus();
            pump();
        }

        ~LiveScreen()
        {
            window.removeChildComponent (&main);
            window.removeFromDesktop();
        }

        /** A key pressed and let go, as the window's peer takes them from the system. */
        void press (const juce::KeyPress& key)
        {
            hold (key);
            main.getPeer()->handleKeyUpOrDown (false);
            pump (5);
        }

        /** A key pressed, or repeated by the system while held. */
        void hold (const juce::KeyPress& key)
        {
            main.getPeer()->handleKeyPress (key);
            pump (5);
        }

        juce::String focusedName() const
        {
            auto* c = juce::Component::getCurrentlyFocusedComponent();
            return c == nullptr ? "(none)" : c->getName().isNotEmpty() ? c->getName() : c->getTitle();
        }

        juce::AccessibilityHandler& handlerOf (juce::Component& c)
        {
            auto* h = c.getAccessibilityHandler();
            if (h == nullptr)
                throw std::runtime_error (("no accessibility handler: " + c.getName()).toStdString());   // fails the test
            return *h;
        }

        /** Presses as a screen reader does, then lets the click arrive. */
        void readerPress (juce::Component& c)
        {
            ASSERT_TRUE (handlerOf (c).getActions().invoke (juce::AccessibilityActionType::press)) << c.getName();
            pump();
        }
    };

    juce::Component& childNamed (juce::Component& parent, const juce::String& name)
    {
        for (auto* c : parent.getChildren())
            if (c->getName() == name)
                return *c;

        ADD_FAILURE() << "no " << name;
        return parent;
    }

    juce::Component* textTitled (juce::Component& parent, const juce::String& start)
    {
        for (auto* c : parent.getChildren())
            if (auto* h = c->getAccessibilityHandler(); h != nullptr && h->getRole() == juce::AccessibilityRole::staticText
                                                        && h->getTitle().startsWith (start))
                return c;

        return nullptr;
    }

    const juce::KeyPress tab (juce::KeyPress::tabKey);
    const juce::KeyPress shiftTab (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier, 0);
    const juce::KeyPress space (juce::KeyPress::spaceKey);
    const juce::KeyPress returnKey (juce::KeyPress::returnKey);
}

TEST (Keyboard, TabWalksTheMainScreenInReadingOrderAndSpaceAndReturnPress)
{
    LiveScreen s;
    EXPECT_EQ (s.focusedName(), "Vantorix3 plugin manager") << "focus starts on the screen itself, on no control";
    EXPECT_EQ (s.main.getHintLabel().getText(), "1.3.0") << "and changes nothing a mouse user sees";

    juce::StringArray walked;
    for (int i = 0; i < 12; ++i)
    {
        s.press (tab);
        walked.add (s.focusedName());
    }
    s.press (tab);
    EXPECT_EQ (walked.joinIntoString (" "), "VST3 CLAP AAX VST2 SELECT_ALL INSTALL EULA WEBSITE SETTINGS MANUAL SUPPORT CHANGES");
    EXPECT_EQ (s.focusedName(), "VST3") << "Tab wraps round";

    s.press (shiftTab);
    EXPECT_EQ (s.focusedName(), "CHANGES");
    s.press (tab);
    s.press (tab);
    EXPECT_EQ (s.focusedName(), "CLAP");
    EXPECT_EQ (s.main.getHintLabel().getText(), "Select to install CLAP") << "the hint follows the keyboard";

    s.press (space);
    EXPECT_TRUE (s.main.isSelected (clapFormat));
    s.press (returnKey);
    EXPECT_FALSE (s.main.isSelected (clapFormat));

    // Held, the key presses once: the system's repeats do nothing. With Ctrl
    // it does nothing at all.
    for (int i = 0; i < 5; ++i)
        s.hold (space);
    s.press (space);
    EXPECT_TRUE (s.main.isSelected (clapFormat));
    s.press (juce::KeyPress (juce::KeyPress::spaceKey, juce::ModifierKeys::ctrlModifier, 0));
    s.press (juce::KeyPress (juce::KeyPress::returnKey, juce::ModifierKeys::altModifier, 0));
    pump (300);
    EXPECT_TRUE (s.main.isSelected (clapFormat));
}

//==============================================================================
namespace
{
    struct MainRow
    {
        const char* name;
        juce::AccessibilityRole role;
        const char* title;
        const char* help;
        const char* state;
    };

    using Role = juce::AccessibilityRole;

    // Nothing installed, nothing selected.
    const MainRow mainScreen[] = {
        { "VST3",       Role::toggleButton, "VST3",  "Select to install VST3", "NOT INSTALLED" },
        { "CLAP",       Role::toggleButton, "CLAP",  "Select to install CLAP", "NOT INSTALLED" },
        { "AAX",        Role::toggleButton, "AAX",   "Select to install AAX",  "NOT INSTALLED" },
        { "VST2",       Role::toggleButton, "VST2",  "Select to install VST2", "NOT INSTALLED" },
        { "SELECT_ALL", Role::button, "Select all formats", "", "" },
        { "INSTALL",    Role::button, "Install selected formats", "Click to install selected. Shift-click to uninstall selected",
                        "Nothing selected. Shift+Return uninstalls instead" },
        { "EULA",       Role::button, "License agreement", "Click to read End-User License Agreement", "" },
        { "WEBSITE",    Role::button, "Product page on the Tessarine website, in your web browser", "Click to open product page on the Tessarine website", "" },
        { "SETTINGS",   Role::button, "Settings: the install folder of each format", "Click to set the install folder for each format", "" },
        { "MANUAL",     Role::button, "Product manual, in your web browser", "Click to open product manual in your web browser", "" },
        { "SUPPORT",    Role::button, "Support by e-mail and Discord", "Email and Discord support", "" },
        { "CHANGES",    Role::button, "Release notes", "Click to view release notes", "" },
    };
}

TEST (Accessibility, EveryControlOfTheMainScreenHasItsRoleTitleHelpAndState)
{
    LiveScreen s;

    for (const auto& row : mainScreen)
    {
        SCOPED_TRACE (row.name);
        auto& h = s.handlerOf (childNamed (s.main, row.name));
        EXPECT_EQ (h.getRole(), row.role);
        EXPECT_EQ (h.getTitle(), row.title);
        EXPECT_EQ (h.getHelp(), row.help);
        EXPECT_EQ (h.getDescription(), row.state);
        EXPECT_TRUE (h.getCurrentState().isFocusable());
        EXPECT_EQ (h.getCurrentState().isCheckable(), row.role == Role::toggleButton);
        EXPECT_FALSE (h.getCurrentState().isChecked());
        EXPECT_TRUE (h.getActions().contains (juce::AccessibilityActionType::press));
    }

    // What is painted as information is offered as text; the rest is not.
    ASSERT_NE (textTitled (s.main, "Vantorix3, version 3.3.0 for Windows"), nullptr);
    EXPECT_EQ (s.handlerOf (s.main.getHintLabel()).getTitle(), "1.3.0");

    s.main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    EXPECT_EQ (s.handlerOf (childNamed (s.main, "INSTALL")).getTitle(), "Uninstall selected formats");
    s.main.modifierKeysChanged (juce::ModifierKeys());
}

TEST (Accessibility, AReadersPressDoesWhatAClickDoes)
{
    LiveScreen s;
    auto& clap = childNamed (s.main, "CLAP");

    // A tile toggles, and its checked state follows; toggle is a press too.
    s.readerPress (clap);
    EXPECT_TRUE (s.main.isSelected (clapFormat));
    EXPECT_TRUE (s.handlerOf (clap).getCurrentState().isChecked());
    ASSERT_TRUE (s.handlerOf (clap).getActions().invoke (juce::AccessibilityActionType::toggle));
    pump();
    EXPECT_FALSE (s.main.isSelected (clapFormat));
    EXPECT_FALSE (s.handlerOf (clap).getCurrentState().isChecked());

    s.readerPress (childNamed (s.main, "SELECT_ALL"));
    for (int format = 0; format < numFormats; ++format)
        EXPECT_TRUE (s.main.isSelected (format)) << format;
    EXPECT_EQ (s.handlerOf (childNamed (s.main, "INSTALL")).getDescription(), "Selected: VST3, VST2, CLAP, AAX. Shift+Return uninstalls instead");
    EXPECT_EQ (s.announced.getReference (s.announced.size() - 1), "All four formats selected");

    s.readerPress (childNamed (s.main, "WEBSITE"));
    s.readerPress (childNamed (s.main, "MANUAL"));
    EXPECT_EQ (s.opened.size(), 2);

    // Each link opening a panel: the panel takes the focus, its Close gives
    // it back to the link.
    const std::pair<const char*, std::function<OverlayPanel*()>> panels[] = {
        { "EULA",     [&] { return (OverlayPanel*) s.main.getEulaPanel(); } },
        { "SETTINGS", [&] { return (OverlayPanel*) s.main.getSettingsPanel(); } },
        { "SUPPORT",  [&] { return (OverlayPanel*) s.main.getSupportPanel(); } },
        { "CHANGES",  [&] { return (OverlayPanel*) s.main.getChangelogPanel(); } },
    };

    for (const auto& [name, panelOf] : panels)
    {
        SCOPED_TRACE (name);
        s.readerPress (childNamed (s.main, name));
        auto* panel = panelOf();
        ASSERT_NE (panel, nullptr);
        EXPECT_EQ (panel->getParentComponent(), &s.main);
        EXPECT_TRUE (panel->isParentOf (juce::Component::getCurrentlyFocusedComponent()));
        s.readerPress (childNamed (*panel, "X"));
        EXPECT_EQ (panel->getParentComponent(), nullptr);
        EXPECT_EQ (s.focusedName(), name);
    }

    // INSTALL installs what is selected; the run is spoken as it starts and
    // ends, and each tile's state then reads installed.
    s.readerPress (clap);                               // all but CLAP
    for (auto* name : { "VST2", "AAX" })
        s.readerPress (childNamed (s.main, name));     // VST3 alone
    s.readerPress (clap);                               // VST3 and CLAP
    childNamed (s.main, "INSTALL").grabKeyboardFocus();
    s.readerPress (childNamed (s.main, "INSTALL"));
    ASSERT_TRUE (s.main.isRunning() || s.main.isInstallFinished());
    s.main.waitForInstallRun();
    EXPECT_TRUE (s.main.didInstallSucceed());
    const auto vst3In = s.home.defaultFolder (vst3Format).getFullPathName(), clapIn = s.home.defaultFolder (clapFormat).getFullPathName();
    EXPECT_EQ (s.announced.joinIntoString ("|").fromLastOccurrenceOf ("All four formats selected|", false, false),
               "Installing VST3 and CLAP|VST3 installed in " + vst3In + ". CLAP installed in " + clapIn
               + ". To change more, close and start the program again.");
    EXPECT_EQ (s.handlerOf (clap).getDescription(), "v3.3.0.0 INSTALLED");
    EXPECT_EQ (s.handlerOf (childNamed (s.main, "VST2")).getDescription(), "NOT INSTALLED");

    auto* result = textTitled (s.main, "SUCCESS!");
    ASSERT_NE (result, nullptr);
    EXPECT_EQ (s.handlerOf (*result).getTitle(), "SUCCESS!\nVST3 installed in " + vst3In + ".\nCLAP installed in " + clapIn
                                                  + ".\nTo change more, close and start the program again.");
    EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), result) << "focus was on INSTALL, which went";
}

TEST (Accessibility, EachPanelIsAGroupOfNamedControlsAndReadableText)
{
    LiveScreen s;
    const auto roleTitleOf = [&] (juce::Component& c)
    {
        auto& h = s.handlerOf (c);
        return juce::String ((int) h.getRole()) + " " + h.getTitle();
    };
    const auto closeIsNamed = [&] (OverlayPanel& panel)
    {
        auto& close = childNamed (panel, "X");
        EXPECT_EQ (roleTitleOf (close), juce::String ((int) Role::button) + " Close");
    };

    s.readerPress (childNamed (s.main, "EULA"));
    auto& eula = *s.main.getEulaPanel();
    EXPECT_EQ (roleTitleOf (eula), juce::String ((int) Role::group) + " LICENSE AGREEMENT");
    closeIsNamed (eula);
    auto& licence = s.handlerOf (eula.getLicenceView());
    EXPECT_EQ (licence.getTitle(), "License agreement");
    ASSERT_NE (licence.getTextInterface(), nullptr);
    EXPECT_GT (licence.getTextInterface()->getTotalNumCharacters(), 1000);
    EXPECT_EQ (s.focusedName(), "License agreement") << "the panel opens on what it is for";

    // What lies under the panel cannot be pressed, by a reader either.
    s.readerPress (childNamed (s.main, "CLAP"));
    s.readerPress (childNamed (s.main, "INSTALL"));
    EXPECT_FALSE (s.main.isSelected (clapFormat));
    EXPECT_FALSE (s.main.isRunning() || s.main.isInstallFinished());
    s.readerPress (childNamed (eula, "X"));

    s.readerPress (childNamed (s.main, "CHANGES"));
    auto& changes = *s.main.getChangelogPanel();

    EXPECT_EQ (roleTitleOf (changes), juce::String ((int) Role::group) + " CHANGELOG - VANTORIX3");
    closeIsNamed (changes);
    auto& notes = s.handlerOf (const_cast<panel_changelog::ChangelogContent&> (changes.getContent()));
    EXPECT_EQ (notes.getRole(), Role::staticText);
    EXPECT_EQ (notes.getTitle(), "Release notes");
    ASSERT_NE (notes.getTextInterface(), nullptr);
    const auto text = notes.getTextInterface()->getText ({ 0, notes.getTextInterface()->getTotalNumCharacters() });
    EXPECT_TRUE (text.contains ("3.3.0")) << text;
    EXPECT_FALSE (text.contains ("**")) << "markers are styling, not words";
    EXPECT_EQ (s.focusedName(), "Release notes");
    s.readerPress (childNamed (changes, "X"));

    s.readerPress (childNamed (s.main, "SUPPORT"));
    auto& support = *s.main.getSupportPanel();
    juce::StringArray mailed;
    support.openUrl = [&] (const juce::URL& url) { mailed.add (url.toString (false)); return true; };
    EXPECT_EQ (roleTitleOf (support), juce::String ((int) Role::group) + " SUPPORT");
    closeIsNamed (support);
    EXPECT_TRUE (s.handlerOf (childNamed (support, "DISCORD")).getTitle().startsWith ("Discord"));
    EXPECT_TRUE (s.handlerOf (childNamed (support, "DISCORD")).getHelp().contains ("vibrant community"));
    EXPECT_TRUE (s.handlerOf (childNamed (support, "MAIL")).getTitle().startsWith ("E-mail support"));
    EXPECT_NE (textTitled (support, "About Tessarine Plugin Manager"), nullptr);
    s.readerPress (childNamed (support, "DISCORD"));
    s.readerPress (childNamed (support, "MAIL"));
    ASSERT_EQ (mailed.size(), 2);
    EXPECT_TRUE (mailed[1].startsWith ("mailto:"));
    s.readerPress (childNamed (support, "X"));

    // A settings row: the format, the folder in use, "choose folder". With no
    // settings file the folder in use is the default, shown greyed.
    s.readerPress (childNamed (s.main, "SETTINGS"));
    auto& settings = *s.main.getSettingsPanel();
    EXPECT_EQ (roleTitleOf (settings), juce::String ((int) Role::group) + " SETTINGS");
    closeIsNamed (settings);
    juce::File asked;
    settings.chooseFolder = [&] (const juce::String&, const juce::File& start, std::function<void (const juce::File&)>) { asked = start; };

    for (auto format : { vst3Format, clapFormat })
    {
        SCOPED_TRACE (formatNames[(size_t) format]);
        const auto inUse = s.main.getInstallFolders()[(size_t) format];
        auto& editor = settings.getEditor (format);
        EXPECT_EQ (editor.getText(), "");
        EXPECT_EQ (editor.getTextToShowWhenEmpty(), inUse.getFullPathName());
        EXPECT_EQ (s.handlerOf (editor).getTitle(), juce::String (formatNames[(size_t) format]) + " install folder");
        EXPECT_EQ (s.handlerOf (editor).getDescription(), "in use: " + inUse.getFullPathName());

        auto& browse = childNamed (settings, "BROWSE" + juce::String (format));
        EXPECT_EQ (roleTitleOf (browse), juce::String ((int) Role::button) + " Choose the " + formatNames[(size_t) format] + " folder");
        EXPECT_EQ (s.handlerOf (browse).getHelp(), "Choose the " + juce::String (formatNames[(size_t) format]) + " install folder");

        // The chooser opens where the plug-in goes, or the nearest folder above that exists.
        s.readerPress (browse);
        EXPECT_TRUE (inUse.isAChildOf (asked) || inUse == asked) << asked.getFullPathName();
        EXPECT_TRUE (asked.isDirectory());
    }

    EXPECT_FALSE (s.home.settingsFile().exists()) << "showing the folder in use writes nothing";
}

TEST (Keyboard, UnderEveryPanelKeysReachOnlyThePanelAndReturnFocusToItsOpener)
{
    LiveScreen s;
    const auto mainScreenBefore = s.main.createComponentSnapshot (s.main.getLocalBounds());

    for (auto* name : { "EULA", "CHANGES", "SUPPORT", "SETTINGS" })
    {
        SCOPED_TRACE (name);
        childNamed (s.main, name).grabKeyboardFocus();
        s.press (returnKey);

        OverlayPanel* panel = nullptr;
        for (auto* c : s.main.getChildren())
            if (auto* p = dynamic_cast<OverlayPanel*> (c))
                panel = p;
        ASSERT_NE (panel, nullptr);

        if (auto* support = dynamic_cast<panel_support*> (panel))
            support->openUrl = [] (const juce::URL&) { return true; };
        if (auto* settings = dynamic_cast<panel_settings*> (panel))
            settings->chooseFolder = [] (const juce::String&, const juce::File&, std::function<void (const juce::File&)>) {};

        // Round the panel twice each way, pressing every control on the way
        // but Close: focus never leaves the panel, and nothing beneath moves.
        juce::StringArray stops;
        for (const auto& step : { tab, shiftTab })
        {
            for (int i = 0; i < 20; ++i)
            {
                auto* focused = juce::Component::getCurrentlyFocusedComponent();
                ASSERT_TRUE (panel->isParentOf (focused)) << "focus reached " << s.focusedName().toStdString();
                stops.addIfNotAlreadyThere (s.focusedName());

                if (focused->getName() != "X")
                {
                    s.press (space);
                    s.press (returnKey);
                }

                s.press (step);
            }
        }
        EXPECT_TRUE (stops.contains ("X")) << stops.joinIntoString (" ").toStdString();

        for (int format = 0; format < numFormats; ++format)
            EXPECT_FALSE (s.main.isSelected (format));
        EXPECT_FALSE (s.main.isRunning() || s.main.isInstallFinished());
        EXPECT_TRUE (s.opened.isEmpty());

        // Escape closes it, from wherever in it the focus is, and the link
        // that opened it has focus again.
        s.press (juce::KeyPress (juce::KeyPress::escapeKey));
        EXPECT_EQ (panel->getParentComponent(), nullptr);
        EXPECT_EQ (s.focusedName(), name);
    }

    // The formats area and everything above it, as before (the links below
    // carry the focus ring now, and the hint line has moved on).
    const auto mainScreenAfter = s.main.createComponentSnapshot (s.main.getLocalBounds());
    int differing = 0;
    for (int y = 0; y < 430; ++y)
        for (int x = 0; x < mainScreenAfter.getWidth(); ++x)
            differing += mainScreenAfter.getPixelAt (x, y) != mainScreenBefore.getPixelAt (x, y) ? 1 : 0;
    EXPECT_EQ (differing, 0);
    for (auto format : { vst3Format, clapFormat })
        EXPECT_FALSE (pluginItemFor (s.main.getInstallFolders()[(size_t) format], "Vantorix3", format).exists());
}

TEST (Accessibility, AWaitForAFileInUseIsAnnouncedOnceHoweverOftenItIsTried)
{
    // Declared before the screen, so that they outlive its run.
    FaultyFileSystem fs;
    bool failedOnce = false;
    LiveScreen s;
    s.main.setFileSystemForRuns (fs);

    // The first move fails as in use until enough pauses have passed; each
    // try takes a moment, so the screen sees the wait.
    fs.releaseAfterMilliseconds = 700;
    fs.beforeCall = [&] (int number, const FaultyFileSystem::Call& call)
    {
        if (call.op != FaultyFileSystem::Op::move)
            return;

        if (! std::exchange (failedOnce, true))
            fs.failCall (number, platform::FileError::inUse, -1);

        juce::Thread::sleep (40);
    };

    s.readerPress (childNamed (s.main, "CLAP"));
    s.readerPress (childNamed (s.main, "INSTALL"));

    for (int i = 0; i < 2000 && ! s.main.isInstallFinished(); ++i)
    {
        s.main.showRunProgress();
        juce::Thread::sleep (5);
    }

    ASSERT_TRUE (s.main.isInstallFinished());
    EXPECT_TRUE (s.main.didInstallSucceed());
    EXPECT_GE (fs.pauses, 3);
    ASSERT_EQ (s.announced.size(), 3) << s.announced.joinIntoString (" | ");
    EXPECT_EQ (s.announced[0], "Installing CLAP");
    EXPECT_TRUE (s.announced[1].startsWith ("Waiting for a file in use: ")) << s.announced[1];
    EXPECT_EQ (s.announced[2], "CLAP installed in " + s.home.defaultFolder (clapFormat).getFullPathName()
                               + ". To change more, close and start the program again.");
}

TEST (Keyboard, ShiftReturnOnInstallUninstallsAsShiftClickDoes)
{
    LiveScreen s;
    s.press (tab);
    s.press (tab);
    s.press (space);                                    // CLAP
    childNamed (s.main, "INSTALL").grabKeyboardFocus();

    // Shift goes down as the system reports it: to the window, then the key.
    juce::ModifierKeys::currentModifiers = juce::ModifierKeys (juce::ModifierKeys::shiftModifier);
    s.main.getPeer()->handleModifierKeysChange();
    EXPECT_EQ (s.handlerOf (childNamed (s.main, "INSTALL")).getTitle(), "Uninstall selected formats");
    s.press (juce::KeyPress (juce::KeyPress::returnKey, juce::ModifierKeys::shiftModifier, 0));
    juce::ModifierKeys::currentModifiers = juce::ModifierKeys();
    s.main.getPeer()->handleModifierKeysChange();

    s.main.waitForInstallRun();
    ASSERT_FALSE (s.announced.isEmpty());
    EXPECT_EQ (s.announced[0], "Uninstalling CLAP");
}

TEST (Keyboard, ClosingTheWindowWhileTheKeyboardIsInUseIsClean)
{
    // As the program's own window holds it: the window deletes the screen
    // while the screen is still showing and one of its buttons has focus.
    IsolatedHome home;
    FocusRing::setShown (false);
    auto window = std::make_unique<juce::DocumentWindow> ("tsr_installer", juce::Colours::black, 0);
    auto* main = new MainComponent();
    window->setContentOwned (main, true);
    window->setWantsKeyboardFocus (false);
    window->addToDesktop();
    window->setVisible (true);
    main->grabKeyboardFocus();
    pump();

    for (int i = 0; i < 3; ++i)
    {
        window->getPeer()->handleKeyPress (tab);
        pump (5);
    }
    ASSERT_TRUE (FocusRing::isShown());
    ASSERT_NE (juce::Component::getCurrentlyFocusedComponent(), nullptr);

    window.reset();
    pump();
    EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), nullptr);
}

namespace
{
    /** Contrast of two colours as the web's accessibility guidelines define it, 1 to 21. */
    double contrast (juce::Colour a, juce::Colour b)
    {
        const auto luminance = [] (juce::Colour c)
        {
            const auto channel = [] (juce::uint8 v)
            {
                const auto s = v / 255.0;
                return s <= 0.03928 ? s / 12.92 : std::pow ((s + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * channel (c.getRed()) + 0.7152 * channel (c.getGreen()) + 0.0722 * channel (c.getBlue());
        };
        const auto la = luminance (a), lb = luminance (b);
        return (std::max (la, lb) + 0.05) / (std::min (la, lb) + 0.05);
    }

    /** The lowest contrast between the focus ring round a control and what is
        beside it: the pixels that only the ring changes, against those that
        touch them and stay, and against the control's own fill just inside it. */
    double ringContrast (juce::Component& screen, juce::Component& control)
    {
        control.grabKeyboardFocus();
        FocusRing::setShown (false);
        pump (20);
        const auto without = screen.createComponentSnapshot (screen.getLocalBounds());
        FocusRing::setShown (true);
        pump (20);
        const auto with = screen.createComponentSnapshot (screen.getLocalBounds());

        const auto inside = screen.getLocalArea (control.getParentComponent(), control.getBounds()).reduced (2);
        const auto fill = with.getPixelAt (inside.getX(), inside.getCentreY());
        double lowest = 21.0;
        int ringPixels = 0;

        for (int y = 1; y < with.getHeight() - 1; ++y)
            for (int x = 1; x < with.getWidth() - 1; ++x)
            {
                const auto ring = with.getPixelAt (x, y);
                if (ring == without.getPixelAt (x, y) || ring != FocusRing::colour)
                    continue;

                ++ringPixels;
                lowest = std::min (lowest, contrast (ring, fill));

                for (auto [dx, dy] : { std::pair { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } })
                    if (with.getPixelAt (x + dx, y + dy) == without.getPixelAt (x + dx, y + dy))
                        lowest = std::min (lowest, contrast (ring, with.getPixelAt (x + dx, y + dy)));
            }

        EXPECT_GT (ringPixels, 20) << control.getName() << control.getTitle() << ": no ring drawn";
        return lowest;
    }
}

TEST (Keyboard, TheFocusRingStandsOutFromEverythingBesideIt)
{
    // Every kind of tile, link, button and field, on every screen.
    LiveScreen s;
    writeBytes (versionSourceFor (pluginItemFor (s.home.defaultFolder (vst3Format), "Vantorix3", vst3Format), "Vantorix3", vst3Format),
                readBytes (versionFixture ("v3.3.0.0.dll")));
    writeBytes (pluginItemFor (s.home.defaultFolder (clapFormat), "Vantorix3", clapFormat), readBytes (versionFixture ("v3.2.1.0.dll")));
    s.main.repaint();

    for (auto* name : { "VST3", "CLAP", "AAX", "SELECT_ALL", "INSTALL", "EULA", "CHANGES" })
        EXPECT_GE (ringContrast (s.main, childNamed (s.main, name)), 3.0) << name;

    const auto panelControls = [&] (const char* link) -> std::vector<juce::Component*>
    {
        childNamed (s.main, link).grabKeyboardFocus();
        s.press (returnKey);
        OverlayPanel* panel = nullptr;
        for (auto* c : s.main.getChildren())
            if (auto* p = dynamic_cast<OverlayPanel*> (c))
                panel = p;

        if (panel == nullptr)
            return {};

        auto controls = panel->createKeyboardFocusTraverser()->getAllComponents (panel);
        controls.insert (controls.begin(), panel);
        return controls;
    };

    for (auto* link : { "EULA", "SETTINGS", "SUPPORT", "CHANGES" })
    {
        const auto controls = panelControls (link);
        ASSERT_FALSE (controls.empty()) << link;

        for (size_t i = 1; i < controls.size(); ++i)
            EXPECT_GE (ringContrast (*controls[0], *controls[i]), 3.0) << link << ": " << controls[i]->getName() << controls[i]->getTitle();

        s.press (juce::KeyPress (juce::KeyPress::escapeKey));
    }
}
