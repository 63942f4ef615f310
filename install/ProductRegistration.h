#pragma once

#include "FormatCatalogue.h"

/** The installed product as the system knows it: the uninstall entry that
    Apps & features, winget and deployment tools read (platform/UninstallEntry.h),
    and a kept copy of this program, which the entry's uninstall and modify
    commands run, so removing the plug-in never needs the original download.

    The copy is kept in an administrators-only folder of the machine's
    programs folder, %ProgramFiles%\<maker>\<product>. Both are brought in line
    with the disk after every run: made while a format is installed, removed
    with the last one. A product version older than the one registered leaves
    both alone. */
namespace ProductRegistration
{
    /** Who the product is, and which program is to be kept. */
    struct Product
    {
        juce::String code;              /**< the entry's key: winget's ProductCode, e.g. "Tessarine.Vantorix3" */
        juce::String maker;
        juce::String name;              /**< as shown and as its items are named */
        juce::String version;
        juce::String websiteUrl, helpUrl;
        juce::File runningProgram;      /**< the program file to keep a copy of */
    };

    /** The folder of the kept copy, and the copy itself. */
    juce::File keptFolder (const Product&);
    juce::File keptProgram (const Product&);

    /** Makes, updates or removes the entry and the kept copy to match what is
        installed in the folders given; one line for a log saying what was
        done, empty when nothing needed doing. */
    juce::String update (const Product&, const std::array<juce::File, numFormats>& folders);
}
