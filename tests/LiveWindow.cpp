#include "LiveWindow.h"
#include "../platform/WineRepaintPump.h"

namespace juce
{
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);   // the framework's own, on both systems
}

void pump (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

    while (juce::Time::getMillisecondCounter() < end)
    {
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);

        // As the program's repaint pump does where no vertical blank drives
        // the framework's repaints (under Wine, or with no display adapter).
       #if JUCE_WINDOWS
        platform::repaintEveryWindowNow();
       #endif
    }
}

SystemMouse::SystemMouse (juce::Component& onDesktop) : top (onDesktop)
{
    // The system's own pointer is parked beside the window. A system may send
    // a window a move of its pointer at any time, with no button held: Wine
    // does as a window is activated, at the position it last knew (0, 0 until
    // the pointer has been over one of its windows), and such a move inside
    // the window ends a press sent here.
    const auto screen = juce::Desktop::getInstance().getDisplays().getTotalBounds (true);
    const auto beside = top.getScreenBounds().getBottomRight() + juce::Point<int> (20, 20);
    if (screen.contains (beside))
        juce::Desktop::setMousePosition (beside);
}

SystemMouse::~SystemMouse()
{
    // Let go, and leave, so that no later test meets a button held or hovered.
    if (top.getPeer() != nullptr)
    {
        if (buttons.isAnyMouseButtonDown())
            release();

        moveTo ({ -10, -10 });
    }
}

void SystemMouse::moveTo (juce::Component& c, std::optional<juce::Point<int>> local)
{
    moveTo (top.getLocalPoint (&c, local.value_or (c.getLocalBounds().getCentre())));
}

void SystemMouse::moveTo (juce::Point<int> inTop)
{
    at = inTop.toFloat();
    send();
}

void SystemMouse::press()
{
    buttons = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
    send();
}

void SystemMouse::release()
{
    buttons = {};
    send();
}

void SystemMouse::send()
{
    if (auto* peer = top.getPeer())
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at,
                                juce::ModifierKeys::currentModifiers.withoutMouseButtons().withFlags (buttons.getRawFlags()),
                                juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                juce::Time::currentTimeMillis());
    pump (5);
}
