#pragma once

#include <juce_core/juce_core.h>
#include <array>

/** The four plug-in formats, always handled in this order. Every per-format
    array of the program is indexed by it. */
enum FormatIndex
{
    vst3Format = 0,
    vst2Format = 1,
    clapFormat = 2,
    aaxFormat  = 3
};

constexpr int numFormats = 4;

/** Names of the format toggles; the same word names the format in hints. */
inline constexpr std::array<const char*, numFormats> formatNames { "VST3", "VST2", "CLAP", "AAX" };

/** What follows the product name in the name of the item a format installs. */
inline constexpr std::array<const char*, numFormats> itemExtensions { ".vst3", ".dll", ".clap", ".aaxplugin" };

/** The settings-file attribute that holds each format's install folder. */
inline constexpr std::array<const char*, numFormats> settingsAttributes { "VST3_Path", "VST2_Path", "CLAP_Path", "AAX_Path" };

/** Names of the six link buttons of the main screen, in layout order. */
inline constexpr std::array<const char*, 6> extraNames { "EULA", "MANUAL", "WEBSITE", "SUPPORT", "SETTINGS", "CHANGES" };

/** The product this build carries. The literal may hold underscores; the
    display name, used on screen and on disk, has spaces in their place. */
namespace product
{
    inline constexpr const char* nameLiteral    = TSR_PRODUCT_NAME;
    inline constexpr const char* version        = TSR_PRODUCT_VERSION;
    inline constexpr const char* platformSuffix = " for Windows";
    inline constexpr const char* pageUrl        = "https://www.tessarine.example/pages/free-and-legacy";

    /** The installer's own version, separate from the product's. */
    inline constexpr const char* applicationVersion = "1.3.0";

    juce::String displayName (const juce::String& literal);
}

/** A resource compiled into the program: its bytes and their count. */
struct EmbeddedData
{
    const char* data = nullptr;
    int size = 0;
};

/** The zip archive holding a format's plug-in item. */
EmbeddedData archiveFor (int format);

/** The file or bundle folder that a format installs: the install folder's child
    named after the product and the format's extension. An install folder that
    is empty or not a full path names no place, and so gives an empty File. */
juce::File pluginItemFor (const juce::File& installFolder, const juce::String& productName, int format);

/** True when the item names an existing file or folder. */
bool isPluginItemPresent (const juce::File& item);

/** True when a folder can be used to install into: a full path, never empty. */
bool isUsableInstallFolder (const juce::File& folder);
