#include "MessageWindowGuard.h"

#include <juce_events/juce_events.h>

#if JUCE_WINDOWS
 #include <windows.h>

// The framework's hidden message window. Its handle is not public API: it is
// a global of the framework's Windows messaging code in this version. An
// upgrade must check that it still exists and still means this window.
static_assert (JUCE_MAJOR_VERSION == 7 && JUCE_MINOR_VERSION == 0 && JUCE_BUILDNUMBER == 5,
               "check that juce::juce_messageWindowHandle still names the hidden message window, then update this check");

namespace juce
{
    extern HWND juce_messageWindowHandle;
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
