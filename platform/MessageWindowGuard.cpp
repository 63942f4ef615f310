#include "MessageWindowGuard.h"

#include <juce_events/juce_events.h>

#if JUCE_WINDOWS
 #include <windows.h>

namespace juce
{
    extern HWND juce_messageWindowHandle;    // the framework's hidden message window
}

namespace platform
{
    namespace
    {
        WNDPROC frameworkMessageProc = nullptr;

        LRESULT CALLBACK messageProcIgnoringClose (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
        {
            if (message == WM_CLOSE)
                return 0;

            return CallWindowProcW (frameworkMessageProc, window, message, wParam, lParam);
        }
    }

    void keepMessageWindowOnClose()
    {
        const auto window = juce::juce_messageWindowHandle;

        if (window == nullptr || frameworkMessageProc != nullptr)
            return;

        frameworkMessageProc = reinterpret_cast<WNDPROC> (
            SetWindowLongPtrW (window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR> (&messageProcIgnoringClose)));
    }
}
#else
namespace platform
{
    void keepMessageWindowOnClose() {}
}
#endif
