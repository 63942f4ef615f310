#include "EmbeddedTypeface.h"

#if JUCE_LINUX || JUCE_BSD
 #include <cstdlib>
 #include <dirent.h>

namespace
{
    /** True when this process runs one thread only: no other thread could read
        the environment while it changes. */
    bool isSingleThreaded()
    {
        auto* tasks = ::opendir ("/proc/self/task");
        if (tasks == nullptr)
            return false;

        int threads = 0;
        while (auto* entry = ::readdir (tasks))
            if (entry->d_name[0] != '.')
                ++threads;

        ::closedir (tasks);
        return threads == 1;
    }
}
#endif

namespace platform
{
    juce::Typeface::Ptr typefaceFromFontData (const void* data, size_t size)
    {
       #if JUCE_LINUX || JUCE_BSD
        if (std::getenv ("JUCE_FONT_PATH") == nullptr && isSingleThreaded())
        {
            // A path that is no folder lists no fonts. The variable is removed
            // again at once so that programs this one starts never see it.
            setenv ("JUCE_FONT_PATH", "/dev/null", 1);
            auto typeface = juce::Typeface::createSystemTypefaceFor (data, size);
            unsetenv ("JUCE_FONT_PATH");
            return typeface;
        }
       #endif

        return juce::Typeface::createSystemTypefaceFor (data, size);
    }
}
