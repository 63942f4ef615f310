#pragma once

#include <juce_core/juce_core.h>

/** What another user does to steer an elevated program: links planted where
    the program works, and files and folders with other owners and rights.

    On Linux these are the system's own calls. Under Wine, whose Windows calls
    cannot make links (CreateSymbolicLinkW reports success and makes nothing),
    they are made from the Linux side, by the Linux tools, on the Linux paths
    of the same places; a Linux link to a folder then reads as a reparse point
    on the Windows side, as a junction would. */
namespace LinkPlanting
{
    /** True where links can be planted: Linux, or Wine. */
    bool canPlantLinks();

    /** True under Wine, whose renames go by the path a handle was opened at
        rather than by the object it holds, as Windows' do. */
    bool renamesGoByPath();

    /** Puts a link to `target` at `link`; a folder there is first moved aside
        to the same name with ".moved" appended, as an attacker swapping it
        would. */
    bool swapForLink (const juce::File& link, const juce::File& target);

    /** The system's path of a file: itself on Linux, the Linux path under Wine. */
    juce::String hostPath (const juce::File&);

    /** Runs a Linux shell command (under Wine, as a Linux process); its exit code. */
    int runHostShell (const juce::String& command);
}
