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

/** Whether a format's item is a bundle folder; the others are one file. */
inline constexpr std::array<bool, numFormats> isBundleFormat { true, false, false, true };

/** Where a bundle's plug-in binary sits inside it, named after the product
    with the format's extension; single-file items are the binary themselves. */
inline constexpr std::array<const char*, numFormats> binaryFolderInItem { "Contents/x86_64-win/", "", "", "Contents/x64/" };

/** The settings-file attribute that holds each format's install folder. */
inline constexpr std::array<const char*, numFormats> settingsAttributes { "VST3_Path", "VST2_Path", "CLAP_Path", "AAX_Path" };

/** The maker's page of the product, where its manual is too. */
inline constexpr const char* productPageUrl = "https://www.tessarine.example/pages/free-and-legacy";

/** The product's name as shown and as its plug-in items are named: the name
    the build gives, with spaces in place of underscores. */
juce::String productDisplayName (const juce::String& literal);

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
