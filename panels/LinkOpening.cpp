#include "LinkOpening.h"

juce::String linkInWords (const juce::URL& url)
{
    const auto address = url.toString (false);

    // A mail link's subject and body are for the mail program; a person
    // needs only where to write.
    if (address.startsWithIgnoreCase ("mailto:"))
        return "Write to " + address.fromFirstOccurrenceOf (":", false, false).upToFirstOccurrenceOf ("?", false, false);

    return "Open " + address + " in your browser";
}
