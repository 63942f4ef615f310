#pragma once

#include <juce_core/juce_core.h>

/** Handing a web or mail link to the browser or mail program of the person
    at the desk.

    Run elevated, the program must not start the browser itself: a browser
    started from an administrator's process runs as administrator, and its
    file dialogs lead to an administrator's shell. So the link goes to the
    signed-in user's own desktop shell on Windows, and on Linux as root to an
    opener that runs as the user who asked for root (sudo, pkexec). */
namespace platform
{
    /** Opens the link as the signed-in user; false when that cannot be done
        (no desktop shell, no user to run as), and nothing was started.
        Run as that user already, the system's own opener is used. */
    bool openAsUser (const juce::URL&);
}
