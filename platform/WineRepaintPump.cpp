#include "WineRepaintPump.h"

#if JUCE_WINDOWS
 #include <windows.h>
#endif

namespace platform
{
    void repaintEveryWindowNow()
    {
        for (int i = 0; i < juce::ComponentPeer::getNumPeers(); ++i)
            juce::ComponentPeer::getPeer (i)->performAnyPendingRepaintsNow();
    }

    namespace
    {
        struct RepaintPump : juce::Timer
        {
            RepaintPump() { startTimerHz (60); }

            void timerCallback() override  { repaintEveryWindowNow(); }
        };

        bool isRunningUnderWine()
        {
           #if JUCE_WINDOWS
            const auto ntdll = GetModuleHandleW (L"ntdll.dll");
            return ntdll != nullptr && GetProcAddress (ntdll, "wine_get_version") != nullptr;
           #else
            return false;
           #endif
        }
    }

    std::unique_ptr<juce::Timer> makeWineRepaintPump()
    {
        if (! isRunningUnderWine())
            return nullptr;

        return std::make_unique<RepaintPump>();
    }
}
