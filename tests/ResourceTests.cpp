#include "TestEnvironment.h"
#include <Identity.h>
#include "../install/FormatCatalogue.h"
#include "../platform/EmbeddedTypeface.h"
#include <BinaryData.h>

namespace
{
    struct ArchiveCase
    {
        FormatIndex format;
        std::vector<juce::String> entries;
        bool itemIsFolder;
        const char* versionSource;     // inside the item; empty when the item is the binary
    };

    std::vector<ArchiveCase> archiveCases()
    {
        return {
            { vst3Format, { "Vantorix3.vst3\\Contents\\",
                            "Vantorix3.vst3\\Contents\\Resources\\moduleinfo.json",
                            "Vantorix3.vst3\\Contents\\x86_64-win\\Vantorix3.vst3" }, true, "Contents/x86_64-win/Vantorix3.vst3" },
            { vst2Format, { "Vantorix3.dll" }, false, "" },
            { clapFormat, { "Vantorix3.clap" }, false, "" },
            { aaxFormat,  { "Vantorix3.aaxplugin\\Contents\\",
                            "Vantorix3.aaxplugin\\desktop.ini",
                            "Vantorix3.aaxplugin\\Plugin.ico",
                            "Vantorix3.aaxplugin\\Contents\\x64\\Vantorix3.aaxplugin" }, true, "Contents/x64/Vantorix3.aaxplugin" },
        };
    }

    bool startsAsPeImage (const juce::File& file)
    {
        juce::FileInputStream in (file);
        char magic[2] = {};
        return in.openedOk() && in.read (magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    }
}

TEST (EmbeddedArchives, ListExactlyTheCatalogueEntriesAndExtractToOneItem)
{
    for (const auto& c : archiveCases())
    {
        SCOPED_TRACE (formatNames[(size_t) c.format]);
        const auto archive = archiveFor (c.format);
        ASSERT_GT (archive.size, 0);

        juce::ZipFile zip (new juce::MemoryInputStream (archive.data, (size_t) archive.size, false), true);
        std::vector<juce::String> names;

        for (int i = 0; i < zip.getNumEntries(); ++i)
            names.push_back (zip.getEntry (i)->filename);

        EXPECT_EQ (names, c.entries);

        IsolatedHome home;
        const auto target = home.root.getChildFile ("extract");
        ASSERT_TRUE (target.createDirectory());
        ASSERT_TRUE (zip.uncompressTo (target, true).wasOk());

        const auto item = pluginItemFor (target, "Vantorix3", c.format);
        const auto top = target.findChildFiles (juce::File::findFilesAndDirectories, false);
        ASSERT_EQ (top.size(), 1);
        EXPECT_EQ (top[0], item);
        EXPECT_EQ (item.isDirectory(), c.itemIsFolder);

        const auto binary = c.itemIsFolder ? item.getChildFile (c.versionSource) : item;
        EXPECT_TRUE (startsAsPeImage (binary));
    }
}

TEST (EmbeddedResources, ReleaseNotesAreTheExactCrLfText)
{
    const std::string notes (BinaryData::CHANGELOG_md, (size_t) BinaryData::CHANGELOG_mdSize);
    EXPECT_EQ (notes, "# Vantorix3 Changelog\r\n\r\n## v3.3.0\r\n\r\n- Modernized build system and preset manager.\r\n\r\n");
    EXPECT_EQ (BinaryData::CHANGELOG_mdSize, 87);
}

TEST (EmbeddedResources, FontsBecomeTypefaces)
{
    const auto fontPathBefore = juce::SystemStats::getEnvironmentVariable ("JUCE_FONT_PATH", "unset");

    for (auto [data, size] : { std::pair { BinaryData::QuicksandRegular_ttf, BinaryData::QuicksandRegular_ttfSize },
                               std::pair { BinaryData::QuicksandBold_ttf,    BinaryData::QuicksandBold_ttfSize } })
    {
        auto typeface = platform::typefaceFromFontData (data, (size_t) size);
        ASSERT_NE (typeface, nullptr);
        juce::Font font (typeface);
        EXPECT_GT (font.getStringWidthFloat ("PLUGIN MANAGER"), 0.0f);
    }

    // Programs started later (browser, mail client) inherit the environment.
    EXPECT_EQ (juce::SystemStats::getEnvironmentVariable ("JUCE_FONT_PATH", "unset"), fontPathBefore);
}

TEST (EmbeddedResources, EveryPictureParsesToANonEmptyDrawable)
{
    const std::pair<const char*, int> pictures[] = {
        { BinaryData::icon_vst3_svg, BinaryData::icon_vst3_svgSize },
        { BinaryData::icon_clap_svg, BinaryData::icon_clap_svgSize },
        { BinaryData::icon_aax_svg, BinaryData::icon_aax_svgSize },
        { BinaryData::icon_install_svg, BinaryData::icon_install_svgSize },
        { BinaryData::logo_tessarine_svg, BinaryData::logo_tessarine_svgSize },
        { BinaryData::icon_discord_svg, BinaryData::icon_discord_svgSize },
        { BinaryData::icon_mail_svg, BinaryData::icon_mail_svgSize },
    };

    for (auto [data, size] : pictures)
    {
        auto drawable = juce::Drawable::createFromImageData (data, (size_t) size);
        ASSERT_NE (drawable, nullptr);
        EXPECT_FALSE (drawable->getDrawableBounds().isEmpty());
    }
}

TEST (EmbeddedResources, FormatLogosShowOnlyTheirVisibleLayer)
{
    // Each logo holds a full-size rectangle in a layer made transparent by a
    // class rule and guide bars (rows 0-5 and 26-31) in a layer the class hides.
    // A reader that ignored the rules would paint them.
    const std::pair<const char*, int> logos[] = {
        { BinaryData::icon_vst3_svg, BinaryData::icon_vst3_svgSize },
        { BinaryData::icon_clap_svg, BinaryData::icon_clap_svgSize },
        { BinaryData::icon_aax_svg, BinaryData::icon_aax_svgSize },
    };

    for (auto [data, size] : logos)
    {
        auto drawable = juce::Drawable::createFromImageData (data, (size_t) size);
        ASSERT_NE (drawable, nullptr);

        juce::Image image (juce::Image::ARGB, 32, 32, true);
        {
            juce::Graphics g (image);
            drawable->drawWithin (g, { 0.0f, 0.0f, 32.0f, 32.0f }, juce::RectanglePlacement::centred, 1.0f);
        }

        int opaqueInBands = 0, opaqueInMiddle = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (image.getPixelAt (x, y).getAlpha() > 0)
                    ++((y < 6 || y >= 26) ? opaqueInBands : opaqueInMiddle);

        EXPECT_EQ (opaqueInBands, 0);
        EXPECT_GT (opaqueInMiddle, 60);
        EXPECT_LT (opaqueInMiddle, 20 * 32);   // the hidden artboard would fill it all
    }
}

TEST (FormatCatalogue, DisplayNameTurnsUnderscoresIntoSpaces)
{
    IsolatedHome home;
    const auto name = productDisplayName ("My_Synth_Two");
    EXPECT_EQ (name, "My Synth Two");
    EXPECT_EQ (pluginItemFor (home.root, name, aaxFormat).getFileName(), "My Synth Two.aaxplugin");
    EXPECT_EQ (productDisplayName (identity::productNameLiteral), "Vantorix3");
}

TEST (FormatCatalogue, NoFolderGivesNoItem)
{
    IsolatedHome home;
    EXPECT_EQ (pluginItemFor (juce::File(), "Vantorix3", vst3Format), juce::File());
    EXPECT_FALSE (isPluginItemPresent (juce::File()));
    EXPECT_EQ (pluginItemFor (home.root, "Vantorix3", 4), juce::File());
    EXPECT_EQ (pluginItemFor (home.root, "Vantorix3", clapFormat), home.root.getChildFile ("Vantorix3.clap"));
}
