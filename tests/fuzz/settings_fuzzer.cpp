// libFuzzer entry: every input is a candidate settings file, as any user may
// write it while the program runs elevated. Decoding, the checks and the parse
// must return without crashing, reading outside the input or recursing
// without bound; whatever parses is written out again as the program would.
#include "../../install/SettingsText.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const std::string bytes (reinterpret_cast<const char*> (data), size);

    if (auto document = SettingsText::parse (bytes))
        std::ignore = document->toString();

    return 0;
}
