#include "TestEnvironment.h"
#include "LiveWindow.h"
#include "../ui/MainComponent.h"
#include "../panels/panel_changelog.h"
#include "../panels/panel_eula.h"
#include "../panels/panel_settings.h"
#include "../panels/panel_support.h"
#include "../install/SettingsFile.h"
#include "../look/CustomLookAndFeel.h"

namespace
{
    void click (juce::Component& owner, const juce::String& name)
    {
        auto& b = buttonNamed (owner, name);
        dynamic_cast<juce::Button::Listener&> (owner).buttonClicked (&b);
    }

    juce::Rectangle<int> boundsOf (juce::Component& panel, const juce::String& name)
    {
        return buttonNamed (panel, name).getBounds();
    }
}

TEST (Panels, FrameAndContentFollowTheUnit)
{
    IsolatedHome home;
    MainComponent main;

    click (main, "EULA");
    auto* eula = main.getEulaPanel();
    ASSERT_NE (eula, nullptr);
    EXPECT_EQ (eula->getBounds(), main.getBounds());
    EXPECT_TRUE (eula->isAlwaysOnTop());
    EXPECT_EQ (boundsOf (*eula, "X"), juce::Rectangle<int> (528, 9, 48, 48));
    EXPECT_EQ (eula->getLicenceView().getBounds(), juce::Rectangle<int> (24, 72, 552, 480));

    main.setSize (900, 900);                                   // refit: y 13.5 rounds to 14
    EXPECT_EQ (eula->getBounds(), main.getBounds());
    EXPECT_EQ (boundsOf (*eula, "X"), juce::Rectangle<int> (792, 14, 72, 72));
    EXPECT_EQ (eula->getLicenceView().getBounds(), juce::Rectangle<int> (36, 108, 828, 720));
}

TEST (Panels, SettingsAndSupportLayoutAt600)
{
    IsolatedHome home;
    MainComponent main;

    click (main, "SETTINGS");
    auto* settings = main.getSettingsPanel();
    ASSERT_NE (settings, nullptr);
    const int rows[] = { 96, 135, 174, 213 };
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ (settings->getEditor (i).getBounds(), juce::Rectangle<int> (132, rows[i], 336, 30)) << i;
        EXPECT_EQ (boundsOf (*settings, "BROWSE" + juce::String (i)), juce::Rectangle<int> (480, rows[i], 96, 30)) << i;
    }

    click (*settings, "X");
    click (main, "SUPPORT");
    auto* support = main.getSupportPanel();
    ASSERT_NE (support, nullptr);
    EXPECT_EQ (boundsOf (*support, "DISCORD"), juce::Rectangle<int> (60, 90, 60, 60));
    EXPECT_EQ (boundsOf (*support, "MAIL"), juce::Rectangle<int> (60, 210, 60, 60));
    EXPECT_EQ (support->productName, "Vantorix3");
    EXPECT_EQ (support->productVersion, "3.3.0");
}

TEST (Panels, ClosingDetachesAndReopeningMakesANewPanel)
{
    IsolatedHome home;
    MainComponent main;

    for (auto* name : { "EULA", "SUPPORT", "SETTINGS", "CHANGES" })
    {
        SCOPED_TRACE (name);
        click (main, name);
        auto* panel = dynamic_cast<juce::Component*> (main.getChildComponent (main.getNumChildComponents() - 1));
        ASSERT_NE (panel, nullptr);
        juce::Component::SafePointer<juce::Component> first (panel);

        main.setSize (900, 900);                              // an open panel follows the window
        EXPECT_EQ (panel->getBounds(), main.getBounds());
        EXPECT_EQ (boundsOf (*panel, "X"), juce::Rectangle<int> (792, 14, 72, 72));
        main.setSize (600, 600);
        EXPECT_EQ (boundsOf (*panel, "X"), juce::Rectangle<int> (528, 9, 48, 48));

        click (*panel, "X");
        EXPECT_EQ (panel->getParentComponent(), nullptr);
        EXPECT_NE (first.getComponent(), nullptr);           // still owned

        main.setSize (700, 700);                              // refit of a closed panel keeps it detached
        EXPECT_EQ (panel->getParentComponent(), nullptr);
        EXPECT_EQ (panel->getWidth(), 700);
        main.setSize (600, 600);

        click (main, name);
        EXPECT_EQ (first.getComponent(), nullptr);            // destroyed by the new one
        auto* second = main.getChildComponent (main.getNumChildComponents() - 1);
        click (*second, "X");
    }
}

TEST (Panels, AnOpenPanelCoversEveryButtonOfTheMainScreen)
{
    IsolatedHome home;
    MainComponent main;
    main.setVisible (true);      // hit-testing finds visible components only

    std::vector<juce::Button*> mainButtons;
    for (auto* child : main.getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child))
            mainButtons.push_back (button);
    ASSERT_EQ (mainButtons.size(), 12u);

    // Without a panel the probe finds each button itself.
    for (auto* button : mainButtons)
        EXPECT_EQ (main.getComponentAt (button->getBounds().getCentre()), button) << button->getName();

    for (auto* name : { "EULA", "SUPPORT", "SETTINGS", "CHANGES" })
    {
        SCOPED_TRACE (name);
        click (main, name);
        auto* panel = main.getChildComponent (main.getNumChildComponents() - 1);

        for (auto* button : mainButtons)
        {
            auto* hit = main.getComponentAt (button->getBounds().getCentre());
            EXPECT_TRUE (hit == panel || panel->isParentOf (hit)) << button->getName() << " reachable under the panel";
        }

        click (*panel, "X");
    }
}

namespace
{
    juce::Image renderPanel (juce::Component& panel)
    {
        juce::Image image (juce::Image::ARGB, panel.getWidth(), panel.getHeight(), true);
        juce::Graphics g (image);
        panel.paintEntireComponent (g, true);
        return image;
    }

    /** The area's pixels that stand out from the house background. */
    juce::Rectangle<int> inkIn (const juce::Image& image, juce::Rectangle<int> area)
    {
        juce::Rectangle<int> ink;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (image.getPixelAt (x, y).getBrightness() > 0.3f)
                    ink = ink.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : ink.getUnion ({ x, y, 1, 1 });
        return ink;
    }

    /** How much a picture's red channel rises above the background's over an area. */
    double inkAmount (const juce::Image& image, juce::Rectangle<int> area)
    {
        double sum = 0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                sum += std::max (0, (int) image.getPixelAt (x, y).getRed() - 0x11);
        return sum;
    }
}

TEST (Panels, TheFramePaintsAtUnitSix)
{
    IsolatedHome home;
    MainComponent main;

    const juce::Rectangle<int> titleArea (0, 12, 520, 36), closeArea (528, 9, 48, 48);
    const struct { const char* name; bool hasTitle; } kinds[] = {
        { "EULA", true }, { "CHANGES", true }, { "SUPPORT", false }, { "SETTINGS", true },
    };

    for (const auto& kind : kinds)
    {
        SCOPED_TRACE (kind.name);
        click (main, kind.name);
        auto* panel = main.getChildComponent (main.getNumChildComponents() - 1);
        auto& close = buttonNamed (*panel, "X");
        auto image = renderPanel (*panel);

        EXPECT_EQ (image.getPixelAt (5, 595).getARGB(), 0xff111111u);      // nearBlack
        EXPECT_EQ (image.getPixelAt (595, 300).getARGB(), 0xff111111u);

        // The title: 4u high, its start at (4u, 6u): ink from x 24, standing on y 36.
        const auto title = inkIn (image, titleArea);
        EXPECT_EQ (title.isEmpty(), ! kind.hasTitle);
        if (kind.hasTitle)
        {
            EXPECT_GE (title.getX(), 24);
            EXPECT_LE (title.getX(), 27);
            EXPECT_NEAR (title.getBottom(), 36, 1);
            EXPECT_GE (title.getY(), 17);                                  // capitals of a 24-pixel font
        }

        // The close ring and glyph: warmGrey at 0x80 idle, opaque under the pointer.
        const auto idle = inkAmount (image, closeArea);
        close.setState (juce::Button::buttonOver);
        const auto hovered = inkAmount (renderPanel (*panel), closeArea);
        close.setState (juce::Button::buttonNormal);
        EXPECT_GT (idle, 0.0);
        EXPECT_NEAR (idle / hovered, 128.0 / 255.0, 0.03);

        click (*panel, "X");
    }

    // A title longer than the line still starts where every title does.
    panel_changelog longTitle ("# T\n## v1\n", juce::String::repeatedString ("Very Long Product Name ", 6));
    longTitle.unit = 6.0f;
    longTitle.setBounds (0, 0, 600, 600);
    const auto title = inkIn (renderPanel (longTitle), titleArea);
    EXPECT_GE (title.getX(), 24);
    EXPECT_LE (title.getX(), 27);
    EXPECT_NEAR (title.getBottom(), 36, 1);
}

TEST (Mouse, PressedIconAndBrowseButtonsTurnGreenWhileHeldEvenDraggedOff)
{
    IsolatedHome home;
    MainComponent main;
    main.addToDesktop (0);
    main.setVisible (true);
    const juce::ScopeGuard offTheDesktop { [&] { main.removeFromDesktop(); } };
    SystemMouse mouse (main);

    const struct { const char* panel; const char* button; juce::Point<int> face; } cases[] = {
        { "SUPPORT",  "DISCORD", { 64, 120 } },      // (60, 90, 60, 60), beside its icon
        { "SUPPORT",  "MAIL",    { 64, 240 } },      // (60, 210, 60, 60)
        { "SETTINGS", "BROWSE0", { 483, 111 } },     // (480, 96, 96, 30), beside its word
        { "SETTINGS", "BROWSE3", { 483, 228 } },     // (480, 213, 96, 30)
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.button);
        click (main, c.panel);
        auto* panel = main.getChildComponent (main.getNumChildComponents() - 1);
        auto& button = buttonNamed (*panel, c.button);

        EXPECT_NE (renderPanel (*panel).getPixelAt (c.face.x, c.face.y).getARGB(), 0xff86cf7au);
        mouse.moveTo (button);
        mouse.press();
        EXPECT_EQ (renderPanel (*panel).getPixelAt (c.face.x, c.face.y).getARGB(), 0xff86cf7au);
        mouse.moveTo ({ 300, 580 });
        EXPECT_EQ (renderPanel (*panel).getPixelAt (c.face.x, c.face.y).getARGB(), 0xff86cf7au);
        mouse.release();
        EXPECT_NE (renderPanel (*panel).getPixelAt (c.face.x, c.face.y).getARGB(), 0xff86cf7au);
        click (*panel, "X");
    }
}

TEST (Panels, ReleaseNotesStyleEachKindOfLine)
{
    const juce::String notes = "# Title of the file\n"
                               "# One\n"
                               "## Two **same** *tilted*\n"
                               "### Three\n"
                               "Plain **strong** and *soft*\n"
                               "- Item\n"
                               "\n\n"
                               + juce::String::repeatedString ("words that wrap ", 12);

    // Every font is set in the embedded face, as in the program. Typefaces an
    // earlier test resolved without it are forgotten first.
    CustomLookAndFeel lookAndFeel;
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    juce::Typeface::clearTypefaceCache();
    const juce::ScopeGuard restore { []
    {
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        juce::Typeface::clearTypefaceCache();
    } };

    panel_changelog panel (notes, "Vantorix3");
    panel.unit = 6.0f;
    panel.setBounds (0, 0, 600, 600);
    const auto& blocks = panel.getContent().getLaidOut();
    ASSERT_EQ (blocks.size(), 7u);

    const juce::uint32 offWhite = 0xfff5f5f5, warmGrey = 0xffaaa6a6;
    const struct { BlockKind kind; float height; bool bold; juce::uint32 colour; float before, after, indent; } styles[] = {
        { BlockKind::Heading1,  30.0f, true,  offWhite, 9.0f, 3.6f, 0.0f },
        { BlockKind::Heading2,  24.0f, true,  offWhite, 6.0f, 3.0f, 0.0f },
        { BlockKind::Heading3,  21.0f, true,  offWhite, 4.8f, 2.4f, 0.0f },
        { BlockKind::Paragraph, 18.0f, false, warmGrey, 0.0f, 1.8f, 0.0f },
        { BlockKind::Bullet,    18.0f, false, warmGrey, 0.0f, 1.8f, 24.0f },
        { BlockKind::Blank,     0.0f,  false, 0,        0.0f, 0.0f, 0.0f },
        { BlockKind::Paragraph, 18.0f, false, warmGrey, 0.0f, 1.8f, 0.0f },
    };

    float y = 6.0f;
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        SCOPED_TRACE ("block " + std::to_string (i));
        const auto& block = blocks[i];
        const auto& style = styles[i];
        ASSERT_EQ (block.kind, style.kind);
        EXPECT_NEAR (block.y, y + style.before, 0.01f);
        EXPECT_FLOAT_EQ (block.indent, style.indent);

        if (style.kind == BlockKind::Blank)
        {
            EXPECT_FLOAT_EQ (block.height, 9.0f);
            y += 9.0f;
            continue;
        }

        ASSERT_GT (block.text.getNumAttributes(), 0);
        const auto& first = block.text.getAttribute (0);
        EXPECT_FLOAT_EQ (first.font.getHeight(), style.height);
        EXPECT_EQ (first.font.isBold(), style.bold);
        EXPECT_FALSE (first.font.isItalic());
        EXPECT_EQ (first.colour.getARGB(), style.colour);
        y += style.before + block.height + style.after;
    }

    // Emphasis: in a heading, bold looks like the rest and italic is bold italic;
    // in a paragraph the three fonts differ.
    const auto& heading = blocks[1].text;
    ASSERT_EQ (heading.getNumAttributes(), 2);                    // "Two same " in one font, then "tilted"
    EXPECT_EQ (heading.getAttribute (0).range, juce::Range<int> (0, 9));
    EXPECT_TRUE (heading.getAttribute (1).font.isBold());
    EXPECT_TRUE (heading.getAttribute (1).font.isItalic());
    const auto& paragraph = blocks[3].text;
    ASSERT_EQ (paragraph.getNumAttributes(), 4);
    EXPECT_TRUE (paragraph.getAttribute (1).font.isBold());
    EXPECT_TRUE (paragraph.getAttribute (3).font.isItalic());
    EXPECT_FALSE (paragraph.getAttribute (3).font.isBold());

    // The long line wraps inside its block, and the content ends a unit below the last one.
    EXPECT_GE (blocks[6].height, 2 * 18.0f);
    EXPECT_EQ (panel.getContent().getHeight(), juce::roundToInt (y + 6.0f));
}

TEST (Panels, SettingsOfAMalformedFileStillReachTheMainScreen)
{
    IsolatedHome home;
    const std::string malformed = "<Plugin_Manager_Settings VST3_Path=\"/x\"";
    writeBytes (home.settingsFile(), malformed);
    MainComponent main;

    click (main, "SETTINGS");
    auto* panel = main.getSettingsPanel();
    for (int row = 0; row < 4; ++row)
        EXPECT_TRUE (panel->getEditor (row).getText().isEmpty()) << row;

    const auto chosen = home.root.getChildFile ("chosen clap");
    chosen.createDirectory();
    panel->folderChosen (2, chosen);
    EXPECT_EQ (main.getInstallFolders()[clapFormat], chosen);
    EXPECT_EQ (readBytes (home.settingsFile()), malformed);
}

TEST (Panels, BrowseAsksForAFolderAndWritesTheAnswer)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    MainComponent main;
    home.defaultFolder (aaxFormat).createDirectory();

    click (main, "SETTINGS");
    auto* panel = main.getSettingsPanel();
    juce::String title;
    juce::File start;
    std::function<void (const juce::File&)> answer;
    panel->chooseFolder = [&] (const juce::String& t, const juce::File& s, std::function<void (const juce::File&)> completion)
    {
        title = t;
        start = s;
        answer = std::move (completion);
    };

    click (*panel, "BROWSE3");
    EXPECT_EQ (title, "Choose the AAX install folder");
    EXPECT_EQ (start, home.defaultFolder (aaxFormat));
    ASSERT_TRUE (answer != nullptr);
    EXPECT_EQ (SettingsFile::readDocument (home.settingsFile())->getStringAttribute ("AAX_Path"),
               home.defaultFolder (aaxFormat).getFullPathName());

    const auto chosen = home.root.getChildFile ("my aax");
    chosen.createDirectory();
    answer (chosen);
    EXPECT_EQ (SettingsFile::readDocument (home.settingsFile())->getStringAttribute ("AAX_Path"), chosen.getFullPathName());
    EXPECT_EQ (main.getInstallFolders()[aaxFormat], chosen);
    EXPECT_EQ (panel->getEditor (3).getText(), chosen.getFullPathName());

    answer (juce::File());                                     // cancelled: nothing changes
    EXPECT_EQ (SettingsFile::readDocument (home.settingsFile())->getStringAttribute ("AAX_Path"), chosen.getFullPathName());
}

TEST (Panels, LicenceEditsAreGoneWhenReopened)
{
    IsolatedHome home;
    MainComponent main;
    click (main, "EULA");
    const auto original = main.getEulaPanel()->getLicenceView().getText();
    EXPECT_TRUE (original.startsWith ("PLEASE READ THIS LICENSE AGREEMENT"));
    EXPECT_FALSE (original.containsChar ('\r'));
    EXPECT_EQ (juce::StringArray::fromLines (original).size(), 18);   // 11 paragraphs, 7 empty lines

    main.getEulaPanel()->getLicenceView().setText ("typed over");
    click (*main.getEulaPanel(), "X");
    click (main, "EULA");
    EXPECT_EQ (main.getEulaPanel()->getLicenceView().getText(), original);
}

//==============================================================================
TEST (ReleaseNotes, ParsingTable)
{
    struct Case { const char* text; std::vector<std::pair<BlockKind, const char*>> blocks; };
    const Case cases[] = {
        { "# Title\r\n\r\n## v3.3.0\r\n\r\n- Modernized build system and preset manager.\r\n\r\n",
          { { BlockKind::Heading2, "v3.3.0" }, { BlockKind::Blank, "" }, { BlockKind::Bullet, "Modernized build system and preset manager." }, { BlockKind::Blank, "" } } },
        { "# Only a title", {} },
        { "", {} },
        { "\n\n  \nTitle\n\n\n\nText", { { BlockKind::Paragraph, "Text" } } },     // no BlockKind::Blank starts the list
        { "T\n* star\n- dash\n#no space\n-no\n#### four\n##  two spaces\n### three",
          { { BlockKind::Bullet, "star" }, { BlockKind::Bullet, "dash" }, { BlockKind::Paragraph, "#no space" }, { BlockKind::Paragraph, "-no" },
            { BlockKind::Paragraph, "#### four" }, { BlockKind::Heading2, " two spaces" }, { BlockKind::Heading3, "three" } } },
        { "T\nline one\nline two", { { BlockKind::Paragraph, "line one" }, { BlockKind::Paragraph, "line two" } } },
    };

    for (const auto& c : cases)
    {
        const auto blocks = parseReleaseNotes (c.text);
        ASSERT_EQ (blocks.size(), c.blocks.size()) << c.text;
        for (size_t i = 0; i < blocks.size(); ++i)
        {
            EXPECT_EQ (blocks[i].kind, c.blocks[i].first) << c.text << " #" << i;
            EXPECT_EQ (blocks[i].text, c.blocks[i].second) << c.text << " #" << i;
        }
    }
}

TEST (ReleaseNotes, InlineSpansTable)
{
    const juce::Font normal (10.0f), bold (10.0f, juce::Font::bold), italic (10.0f, juce::Font::italic);
    enum { N, B, I };
    struct Case { const char* line; std::vector<std::pair<const char*, int>> spans; };
    const Case cases[] = {
        { "**bold** and *it*", { { "bold", B }, { " and ", N }, { "it", I } } },
        { "*all italic*", { { "all italic", I } } },
        { "**a*", { { "*", N }, { "a", I } } },
        { "no *close", { { "no *close", N } } },
        { "a **** b", { { "a **** b", N } } },
        { "empty ** and **** pairs", { { "empty ", N }, { " and ", B }, { "** pairs", N } } },
        { "*in **bold** it*", { { "in bold it", I } } },                 // no nesting
        { "", {} },
    };

    for (const auto& c : cases)
    {
        juce::AttributedString text;
        appendInlineSpans (text, c.line, normal, bold, italic, juce::Colours::red);

        std::vector<std::pair<juce::String, int>> actual;
        for (int i = 0; i < text.getNumAttributes(); ++i)
        {
            const auto& a = text.getAttribute (i);
            const auto style = a.font.isBold() ? B : a.font.isItalic() ? I : N;
            actual.push_back ({ text.getText().substring (a.range.getStart(), a.range.getEnd()), style });
            EXPECT_EQ (a.colour, juce::Colours::red);
        }

        // Neighbouring plain spans may come as one or two; compare the joined text per style run.
        std::vector<std::pair<juce::String, int>> merged;
        for (auto& span : actual)
            if (! merged.empty() && merged.back().second == span.second) merged.back().first += span.first;
            else merged.push_back (span);
        std::vector<std::pair<juce::String, int>> expected;
        for (auto& span : c.spans)
            if (! expected.empty() && expected.back().second == span.second) expected.back().first += span.first;
            else expected.push_back ({ span.first, span.second });

        EXPECT_EQ (merged, expected) << c.line;
    }
}

TEST (ReleaseNotes, EmbeddedNotesLayOutAtUnit6)
{
    IsolatedHome home;
    MainComponent main;
    click (main, "CHANGES");
    const auto& laidOut = main.getChangelogPanel()->getContent().getLaidOut();
    ASSERT_EQ (laidOut.size(), 4u);

    EXPECT_EQ (laidOut[0].kind, BlockKind::Heading2);
    EXPECT_FLOAT_EQ (laidOut[0].y, 12.0f);
    EXPECT_FLOAT_EQ (laidOut[0].text.getAttribute (0).font.getHeight(), 24.0f);
    EXPECT_EQ (laidOut[1].kind, BlockKind::Blank);
    EXPECT_FLOAT_EQ (laidOut[1].y, 12.0f + laidOut[0].height + 3.0f);
    EXPECT_FLOAT_EQ (laidOut[1].height, 9.0f);
    EXPECT_EQ (laidOut[2].kind, BlockKind::Bullet);
    EXPECT_FLOAT_EQ (laidOut[2].y, laidOut[1].y + 9.0f);
    EXPECT_FLOAT_EQ (laidOut[2].indent, 24.0f);
    EXPECT_FLOAT_EQ (laidOut[3].y, laidOut[2].y + laidOut[2].height + 1.8f);

    const auto& content = main.getChangelogPanel()->getContent();
    EXPECT_EQ (content.getWidth(), 552);
    EXPECT_EQ (content.getHeight(), juce::roundToInt (laidOut[3].y + 9.0f + 6.0f));
}

//==============================================================================
TEST (SettingsPanel, ChosenFolderReachesEditorFileAndMainScreen)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    MainComponent main;
    const auto before = juce::XmlDocument::parse (home.settingsFile());
    click (main, "SETTINGS");
    auto& panel = *main.getSettingsPanel();

    EXPECT_EQ (panel.getEditor (0).getText(), home.defaultFolder (vst3Format).getFullPathName());

    const auto untouched = readBytes (home.settingsFile());
    panel.folderChosen (0, juce::File());                    // cancelled
    EXPECT_EQ (panel.getEditor (0).getText(), home.defaultFolder (vst3Format).getFullPathName());
    EXPECT_EQ (readBytes (home.settingsFile()), untouched);
    EXPECT_EQ (main.getInstallFolders()[vst3Format], home.defaultFolder (vst3Format));

    const auto vst3 = home.root.getChildFile ("chosen vst3"), aax = home.root.getChildFile ("chosen aax");
    panel.folderChosen (0, vst3);
    panel.folderChosen (3, aax);

    EXPECT_EQ (panel.getEditor (0).getText(), vst3.getFullPathName());
    EXPECT_EQ (main.getInstallFolders()[vst3Format], vst3);
    EXPECT_EQ (main.getInstallFolders()[aaxFormat], aax);

    const auto after = juce::XmlDocument::parse (home.settingsFile());
    ASSERT_NE (after, nullptr);
    ASSERT_EQ (after->getNumAttributes(), before->getNumAttributes());
    for (int i = 0; i < after->getNumAttributes(); ++i)
        EXPECT_EQ (after->getAttributeName (i), before->getAttributeName (i));
    EXPECT_EQ (after->getStringAttribute ("VST3_Path"), vst3.getFullPathName());
    EXPECT_EQ (after->getStringAttribute ("AAX_Path"), aax.getFullPathName());
    EXPECT_EQ (after->getStringAttribute ("CLAP_Path"), before->getStringAttribute ("CLAP_Path"));
    EXPECT_EQ (after->getStringAttribute ("Important_Note:"), before->getStringAttribute ("Important_Note:"));
}

TEST (SettingsPanel, AFileDeletedMeanwhileIsWrittenAnewWithTheChoiceAndDeletedFoldersStartAtTheDefault)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    MainComponent main;
    click (main, "SETTINGS");
    auto& panel = *main.getSettingsPanel();

    const auto gone = home.root.getChildFile ("gone");
    panel.folderChosen (0, gone);                           // a folder that does not exist (any more)
    EXPECT_EQ (panel.startFolderFor (0), home.root);        // the nearest that does
    gone.createDirectory();
    EXPECT_EQ (panel.startFolderFor (0), gone);

    home.settingsFile().deleteFile();
    const auto chosen = home.root.getChildFile ("elsewhere");
    panel.folderChosen (1, chosen);
    EXPECT_EQ (main.getInstallFolders()[vst2Format], chosen);

    // Written again whole: the choice, and the other rows as they are in use.
    const auto written = SettingsFile::readDocument (home.settingsFile());
    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getStringAttribute ("VST2_Path"), chosen.getFullPathName());
    EXPECT_EQ (written->getStringAttribute ("VST3_Path"), gone.getFullPathName());
    EXPECT_EQ (written->getStringAttribute ("CLAP_Path"), home.defaultFolder (clapFormat).getFullPathName());
    EXPECT_EQ (panel.getEditor (1).getText(), chosen.getFullPathName());
}

//==============================================================================
TEST (SupportMail, AddressCarriesProductAndSystem)
{
    const auto address = supportMailAddress ("Vantorix3", "3.3.0", "Linux", "Windows (Desktop)", "");
    EXPECT_TRUE (address.startsWith ("mailto:support@tessarine.example?subject=Vantorix3%20help&body="));

    const auto body = address.fromFirstOccurrenceOf ("&body=", false, false);
    EXPECT_TRUE (body.startsWith ("Product%3A%20Vantorix3%203.3.0%0AOperating%20System%3A%20"));
    EXPECT_TRUE (body.endsWith ("if%20possible%3A%0A"));
    EXPECT_TRUE (body.contains ("Device%3A%20Windows%20(Desktop)%0A"));     // round brackets stay
    EXPECT_TRUE (body.contains ("%0ACPU%3A%20%0A%0A"));                      // empty brand: "CPU: " alone
}

TEST (SupportMail, ButtonsOpenTheLinks)
{
    IsolatedHome home;
    MainComponent main;
    click (main, "SUPPORT");
    auto& panel = *main.getSupportPanel();
    juce::StringArray opened;
    panel.openUrl = [&opened] (const juce::URL& url) { opened.add (url.toString (true)); return true; };

    click (panel, "DISCORD");
    click (panel, "MAIL");
    ASSERT_EQ (opened.size(), 2);
    EXPECT_EQ (opened[0], "https://discord.example/invite/tessarine");
    EXPECT_TRUE (opened[1].startsWith ("mailto:support@tessarine.example?subject=Vantorix3%20help&body=Product%3A%20Vantorix3%203.3.0%0A"));
}

TEST (SupportMail, ALinkThatCannotBeOpenedAsTheUserIsGivenInWords)
{
    // Elevated with no desktop shell to hand it to, nothing is started: the
    // panel's last line gives the address, and the main screen's hint line.
    IsolatedHome home;
    MainComponent main;
    main.setSize (600, 600);
    main.openUrl = [] (const juce::URL&) { return false; };
    click (main, "WEBSITE");
    EXPECT_EQ (main.getHintLabel().getText(), "Open https://www.tessarine.example/pages/free-and-legacy in your browser");

    click (main, "SUPPORT");
    auto& panel = *main.getSupportPanel();
    panel.openUrl = [] (const juce::URL&) { return false; };
    const auto lastLine = panel.getLocalBounds().withTop (juce::roundToInt (0.9f * (float) panel.getHeight()));
    EXPECT_TRUE (inkIn (renderPanel (panel), lastLine).isEmpty());

    click (panel, "MAIL");
    const auto shown = std::find_if (panel.getChildren().begin(), panel.getChildren().end(), [] (auto* c)
                                     { auto* t = dynamic_cast<ScreenText*> (c); return t != nullptr && t->isVisible() && t->text() == "Write to support@tessarine.example"; });
    EXPECT_NE (shown, panel.getChildren().end());
    EXPECT_FALSE (inkIn (renderPanel (panel), lastLine).isEmpty());

    click (panel, "DISCORD");
    EXPECT_NE (std::find_if (panel.getChildren().begin(), panel.getChildren().end(), [] (auto* c)
                             { auto* t = dynamic_cast<ScreenText*> (c); return t != nullptr && t->text() == "Open https://discord.example/invite/tessarine in your browser"; }),
               panel.getChildren().end());
}
