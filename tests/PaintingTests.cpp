#include "TestEnvironment.h"
#include "LiveWindow.h"
#include "../ui/MainComponent.h"
#include "../look/Palette.h"

namespace
{
    juce::Image render (MainComponent& main)
    {
        juce::Image image (juce::Image::ARGB, main.getWidth(), main.getHeight(), true);
        juce::Graphics g (image);
        main.paintEntireComponent (g, true);
        return image;
    }

    juce::Colour over (juce::Colour colour, float alpha)
    {
        return Palette::nearBlack.overlaidWith (colour.withAlpha (alpha));
    }

    ::testing::AssertionResult colourAt (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 3)
    {
        const auto actual = image.getPixelAt (x, y);
        const auto near = [tolerance] (juce::uint8 a, juce::uint8 b) { return std::abs ((int) a - (int) b) <= tolerance; };

        if (near (actual.getRed(), expected.getRed()) && near (actual.getGreen(), expected.getGreen())
             && near (actual.getBlue(), expected.getBlue()))
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is " << actual.toDisplayString (false)
                                             << ", expected " << expected.toDisplayString (false);
    }

    /** Pixels in an area that stand out from the background, e.g. text. */
    juce::Rectangle<int> inkBounds (const juce::Image& image, juce::Rectangle<int> area, juce::Colour background = Palette::nearBlack)
    {
        juce::Rectangle<int> ink;
        bool any = false;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
            {
                const auto c = image.getPixelAt (x, y);
                if (std::abs (c.getBrightness() - background.getBrightness()) > 0.12f)
                {
                    const juce::Rectangle<int> pixel (x, y, 1, 1);
                    ink = any ? ink.getUnion (pixel) : pixel;
                    any = true;
                }
            }

        return ink;
    }

    void install (const IsolatedHome& home, int format)
    {
        ASSERT_TRUE (installFormat (home.defaultFolder (format), "Vantorix3", format, archiveFor (format)).succeeded);
    }
}

TEST (Painting, FixedElementsAt600)
{
    IsolatedHome home;
    MainComponent main;
    const auto image = render (main);

    EXPECT_TRUE (colourAt (image, 300, 3, juce::Colour (0xff0094d8)));   // accent bar (0, 0, 600, 6), blue
    EXPECT_TRUE (colourAt (image, 300, 7, Palette::nearBlack));

    const auto grip = over (Palette::warmGrey, 0.5f);                 // circles in (588, 588), (588, 576), (576, 588)
    EXPECT_TRUE (colourAt (image, 591, 591, grip));
    EXPECT_TRUE (colourAt (image, 591, 579, grip));
    EXPECT_TRUE (colourAt (image, 579, 591, grip));
    EXPECT_TRUE (colourAt (image, 579, 579, Palette::nearBlack));

    EXPECT_TRUE (colourAt (image, 300, 165, Palette::warmGrey));      // FORMATS rule (24, 165, 552, 1.5)
    EXPECT_TRUE (colourAt (image, 300, 163, Palette::nearBlack));
    EXPECT_TRUE (colourAt (image, 300, 429, Palette::warmGrey));      // EXTRAS rule (24, 429, 552, 1.5)
    EXPECT_TRUE (colourAt (image, 20, 165, Palette::nearBlack));

    // Single-line texts start where the layout says: "PLUGIN MANAGER" at x 450
    // on baseline 24, "FORMATS" at x 24 on baseline 156.
    const auto manager = inkBounds (image, { 400, 8, 200, 18 });
    EXPECT_GE (manager.getX(), 450);
    EXPECT_LE (manager.getX(), 453);
    EXPECT_LE (manager.getBottom(), 25);
    const auto formats = inkBounds (image, { 0, 135, 200, 28 });
    EXPECT_GE (formats.getX(), 24);
    EXPECT_LE (formats.getX(), 27);
    EXPECT_LE (formats.getBottom(), 157);
}

TEST (Painting, SingleLineTextsStartAtTruncatedPixelsWhenTheUnitIsNotWhole)
{
    IsolatedHome home;
    MainComponent main;
    main.setSize (650, 650);                                          // u = 6.5
    const auto image = render (main);

    const auto manager = inkBounds (image, { 440, 8, 210, 19 });
    EXPECT_GE (manager.getX(), 487);
    EXPECT_LE (manager.getX(), 490);
    EXPECT_LE (manager.getBottom(), 27);                              // baseline 26
    EXPECT_GE (manager.getBottom(), 25);
    EXPECT_TRUE (colourAt (image, 325, 5, Palette::blue));            // bar 6.5 high
    EXPECT_TRUE (colourAt (image, 325, 7, Palette::nearBlack));
}

TEST (Painting, TilesShowTheDetectedStateSelectionAndHover)
{
    IsolatedHome home;
    install (home, clapFormat);                                       // current copy
    writeBytes (home.defaultFolder (vst2Format).getChildFile ("Vantorix3.dll"), readBytes (versionFixture ("v3.2.1.0.dll")));

    MainComponent main;
    main.buttonClicked (&buttonNamed (main, "CLAP"));                      // present, so selected: deselect
    main.buttonClicked (&buttonNamed (main, "VST3"));                      // absent: select
    auto image = render (main);

    EXPECT_TRUE (colourAt (image, 284, 200, juce::Colour (0xff464545)));        // VST3 (24, 180, 270, 60): warmGrey at 0x59 over nearBlack
    EXPECT_TRUE (colourAt (image, 566, 200, over (Palette::blue, 0.9f)));        // CLAP (306, 180, 270, 60)
    EXPECT_TRUE (colourAt (image, 566, 272, over (Palette::orange, 0.9f)));      // VST2 (306, 252, 270, 60)
    EXPECT_TRUE (colourAt (image, 284, 272, over (Palette::warmGrey, 0.35f)));   // AAX (24, 252, 270, 60)

    EXPECT_TRUE (colourAt (image, 24, 210, juce::Colour (0xffd3c55f)));         // VST3 selected: yellow outline
    EXPECT_TRUE (colourAt (image, 306, 210, over (Palette::blue, 0.9f)));        // CLAP not: no outline
    EXPECT_TRUE (colourAt (image, 306, 282, Palette::yellow));                   // VST2 present: selected

    buttonNamed (main, "CLAP").setState (juce::Button::buttonOver);
    buttonNamed (main, "VST3").setState (juce::Button::buttonDown);                   // pressing looks like hovering
    image = render (main);
    EXPECT_TRUE (colourAt (image, 566, 200, Palette::blue));
    EXPECT_TRUE (colourAt (image, 284, 200, over (Palette::warmGrey, 0.5f)));
}

TEST (Painting, FormatLogosShowOnlyTheirVisibleLayer)
{
    IsolatedHome home;
    MainComponent main;
    const auto image = render (main);
    const auto tile = over (Palette::warmGrey, 0.35f);

    // The VST3 logo is drawn into (30, 186, 48, 48) at 1.5 pixels per unit.
    EXPECT_TRUE (colourAt (image, 31, 187, tile));          // the transparent artboard
    EXPECT_TRUE (colourAt (image, 54, 189, tile));          // the hidden guide bars
    EXPECT_TRUE (colourAt (image, 54, 230, tile));
    EXPECT_TRUE (colourAt (image, 33, 204, Palette::charcoal, 12));   // the V's left stroke
}

TEST (Mouse, PressedMeansTheButtonIsHeldDownOnItEvenDraggedOff)
{
    // The real mouse, through the window: a button is pressed while the
    // mouse button pressed on it is held, wherever the pointer goes.
    IsolatedHome home;
    MainComponent main;
    main.addToDesktop (0);
    main.setVisible (true);
    const juce::ScopeGuard offTheDesktop { [&] { main.removeFromDesktop(); } };
    SystemMouse mouse (main);

    auto image = render (main);
    EXPECT_TRUE (colourAt (image, 30, 450, over (Palette::warmGrey, 0.5f)));     // EULA (24, 444, 96, 24)
    EXPECT_TRUE (colourAt (image, 468, 138, over (Palette::warmGrey, 0.1f)));    // SELECT ALL (462, 132, 114, 30)

    mouse.moveTo (buttonNamed (main, "EULA"));
    mouse.press();
    EXPECT_TRUE (colourAt (render (main), 30, 450, Palette::green));             // pressed: green
    mouse.moveTo ({ 300, 300 });                                                 // dragged off, still held
    EXPECT_TRUE (colourAt (render (main), 30, 450, Palette::green));
    mouse.release();                                                             // let go elsewhere: no click
    EXPECT_TRUE (colourAt (render (main), 30, 450, over (Palette::warmGrey, 0.5f)));
    EXPECT_EQ (main.getEulaPanel(), nullptr);

    mouse.moveTo (buttonNamed (main, "INSTALL"));
    mouse.press();
    EXPECT_TRUE (colourAt (render (main), 519, 470, Palette::green));            // INSTALL (516, 441, 60, 60)
    mouse.moveTo ({ 300, 300 });
    mouse.release();

    mouse.moveTo (buttonNamed (main, "SELECT_ALL"));
    mouse.press();
    image = render (main);
    EXPECT_TRUE (colourAt (image, 468, 138, Palette::green));
    int charcoalText = 0;
    for (int y = 132; y < 162; ++y)
        for (int x = 462; x < 576; ++x)
            charcoalText += image.getPixelAt (x, y).getBrightness() < 0.2f ? 1 : 0;
    EXPECT_GT (charcoalText, 20);                                                // "SELECT ALL" in charcoal
    mouse.release();
}

TEST (Painting, ShiftTurnsTheInstallLabelIntoUninstall)
{
    IsolatedHome home;
    MainComponent main;
    const juce::Rectangle<int> label (480, 503, 120, 24);                         // below the button (516, 441, 60, 60)
    const auto installLabel = inkBounds (render (main), label);

    main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    const auto uninstallLabel = inkBounds (render (main), label);

    main.modifierKeysChanged (juce::ModifierKeys());
    EXPECT_EQ (inkBounds (render (main), label), installLabel);

    EXPECT_FALSE (installLabel.isEmpty());
    EXPECT_LT (uninstallLabel.getX(), installLabel.getX() - 4);                  // two letters wider, centred
    EXPECT_GT (uninstallLabel.getRight(), installLabel.getRight() + 4);
    EXPECT_LE (installLabel.getBottom(), 523);                                   // bottom of the button moved down 3.5u
}

TEST (Painting, FinishedDisplayShowsSuccessOrFailure)
{
    for (bool fail : { false, true })
    {
        SCOPED_TRACE (fail ? "failure" : "success");
        IsolatedHome home;
        MainComponent main;
        main.buttonClicked (&buttonNamed (main, "VST3"));
        if (fail)
            main.setInstallFolder ("VST3_Path", "not/a/full/path");
        main.buttonClicked (&buttonNamed (main, "INSTALL"));
        main.waitForInstallRun();
        const auto image = render (main);

        // The icon, large, in (96, 240, 408, 84): its arrow's stem at the middle.
        EXPECT_TRUE (colourAt (image, 300, 279, fail ? Palette::orange : Palette::green, 8));
        EXPECT_TRUE (colourAt (image, 284, 200, Palette::nearBlack));            // no tiles any more
        EXPECT_TRUE (colourAt (image, 468, 138, Palette::nearBlack));            // no SELECT ALL

        const auto word = inkBounds (image, { 24, 340, 552, 57 });              // "SUCCESS!" / "FAILED!", bottom of (24, 168, 552, 228)
        EXPECT_FALSE (word.isEmpty());
        EXPECT_LE (word.getBottom(), 397);
        EXPECT_TRUE (colourAt (image, 519, 470, over (Palette::warmGrey, 0.5f))); // install button, idle

        const auto reasons = inkBounds (image, { 24, 168, 552, 70 });
        EXPECT_EQ (reasons.isEmpty(), ! fail);
    }
}

TEST (Painting, TheInstallIconKeepsItsColourAfterTheFinishedScreen)
{
    // The finished display draws the install icon in the accent and must give
    // it its colour back, or the next paint draws the install button's icon
    // in the accent too.
    IsolatedHome home;
    MainComponent main;
    main.buttonClicked (&buttonNamed (main, "CLAP"));
    main.buttonClicked (&buttonNamed (main, "INSTALL"));
    main.waitForInstallRun();

    for (int paint = 1; paint <= 2; ++paint)
    {
        SCOPED_TRACE ("paint " + std::to_string (paint));
        const auto image = render (main);
        EXPECT_TRUE (colourAt (image, 546, 471, juce::Colour (0xff171717), 8));      // the small icon's stem, charcoal
        EXPECT_TRUE (colourAt (image, 300, 279, juce::Colour (0xff86cf7a), 8));      // the large one's, green
    }
}

TEST (Painting, HoldingAndReleasingShiftRepaints)
{
    // Counts the repaints the component asks for: a cached image is told of
    // each one, with or without a window on screen.
    struct RepaintCounter : juce::CachedComponentImage
    {
        explicit RepaintCounter (int& c) : count (c) {}
        void paint (juce::Graphics&) override {}
        bool invalidateAll() override                            { ++count; return true; }
        bool invalidate (const juce::Rectangle<int>&) override   { ++count; return true; }
        void releaseResources() override {}
        int& count;
    };

    IsolatedHome home;
    MainComponent main;
    main.setVisible (true);
    int repaints = 0;
    main.setCachedComponentImage (new RepaintCounter (repaints));

    const auto beforePress = repaints;
    main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    EXPECT_TRUE (main.isShiftHeld());
    EXPECT_GT (repaints, beforePress);

    const auto afterPress = repaints;
    main.modifierKeysChanged (juce::ModifierKeys());
    EXPECT_FALSE (main.isShiftHeld());
    EXPECT_GT (repaints, afterPress);

    const auto afterRelease = repaints;
    main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier));   // a mouse button is no key
    EXPECT_EQ (repaints, afterRelease);
    main.setCachedComponentImage (nullptr);
}
