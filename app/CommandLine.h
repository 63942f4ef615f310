#pragma once

#include "../install/FormatCatalogue.h"
#include <array>

/** What the program was asked to do from its command line: the switches
    deployment tools and administrators already know from other installers.

    A switch is written /NAME or -NAME, in any case, with "=" before a value
    (which may be quoted). Words without a slash or dash are ignored, so that
    started with no switches the program is its window, as always. */
struct CommandLine
{
    enum class Mode
    {
        window,         /**< the window, waiting for the user */
        silent,         /**< the window shows the run and closes by itself (/SILENT) */
        verySilent,     /**< no window at all (/VERYSILENT) */
        help            /**< the usage (/? or /HELP) */
    };

    Mode mode = Mode::window;
    std::array<bool, numFormats> formats { true, true, true, true };   /**< /COMPONENTS; all by default */
    bool formatsGiven = false;
    std::array<juce::String, numFormats> folders;                     /**< /VST3DIR= and the like; empty when not given */
    bool uninstall = false;                                           /**< /UNINSTALL */
    bool force = false;                                               /**< /FORCE: replace a newer installed copy */
    bool log = false;                                                 /**< /LOG */
    juce::File logFile;                                               /**< /LOG="file"; empty: a dated name in the temporary folder */
    juce::String arguments;                                           /**< as given, for the log */

    /** Why the command line cannot be carried out, in one line; empty when it can. */
    juce::String error;

    /** True when anything but the plain window was asked for. */
    [[nodiscard]] bool asksForWork() const noexcept;
};

/** Reads the arguments as the framework splits them (quotes honoured). */
CommandLine parseCommandLine (const juce::StringArray& arguments);

/** The switches and exit codes, as /? prints them. */
juce::String commandLineUsage();
