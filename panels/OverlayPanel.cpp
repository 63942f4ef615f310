#include "OverlayPanel.h"
#include "../look/ButtonFace.h"

OverlayPanel::OverlayPanel (const juce::String& title)
    : closeButton ({ "X", ScreenControl::says ("Close"), nullptr, [this] { close(); } }, *this)
{
    setTitle (title);
    addAndMakeVisible (closeButton);
    closeButton.setExplicitFocusOrder (1000);

    // Tab and Shift+Tab stay among the panel's own controls. The panel
    // itself holds the focus until the keyboard is used.
    setFocusContainerType (FocusContainerType::keyboardFocusContainer);
    setWantsKeyboardFocus (true);
}

OverlayPanel::~OverlayPanel() = default;

std::unique_ptr<ScreenButton> OverlayPanel::makeButton (ScreenControl control)
{
    auto button = std::make_unique<ScreenButton> (std::move (control), *this);
    addFocusable (*button);
    return button;
}

ScreenText& OverlayPanel::addText (std::function<juce::String()> text)
{
    auto* t = texts.add (std::make_unique<ScreenText> (std::move (text)));
    addAndMakeVisible (*t);
    return *t;
}

void OverlayPanel::buttonClicked (juce::Button* button)
{
    if (auto* b = dynamic_cast<ScreenButton*> (button); b != nullptr && b->control.action)
        b->control.action();
}

bool OverlayPanel::keyPressed (const juce::KeyPress& key)
{
    if (FocusRing::enter (*this, key))
        return true;

    if (! key.isKeyCode (juce::KeyPress::escapeKey))
        return false;

    close();
    return true;
}

std::unique_ptr<juce::AccessibilityHandler> OverlayPanel::createAccessibilityHandler()
{
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::group);
}

juce::Rectangle<int> OverlayPanel::unitBounds (float x, float y, float width, float height) const
{
    return { juce::roundToInt (x * unit), juce::roundToInt (y * unit),
             juce::roundToInt (width * unit), juce::roundToInt (height * unit) };
}

void OverlayPanel::layoutCloseButton()
{
    closeButton.setBounds (unitBounds (88.0f, 1.5f, 8.0f, 8.0f));
}

void OverlayPanel::paintFrame (juce::Graphics& g, const juce::String& title)
{
    const auto u = unit;
    g.fillAll (Palette::nearBlack);

    if (title.isNotEmpty())
    {
        g.setColour (Palette::offWhite);
        g.setFont (4.0f * u);
        g.drawSingleLineText (title, (int) (4.0f * u), (int) (6.0f * u));
    }

    const auto b = closeButton.getBounds().toFloat();
    const juce::Rectangle<float> ring (b.getX() + 2.0f * u, b.getY() + 2.0f * u,
                                       std::max (0.0f, b.getWidth() - 4.0f * u), std::max (0.0f, b.getHeight() - 4.0f * u));
    g.setColour (ButtonFace::isHovered (closeButton) ? Palette::warmGrey : Palette::warmGrey.withAlpha (0.5f));
    g.drawEllipse (ring, 0.25f * u);
    g.setFont (3.0f * u);
    g.drawText ("X", ring, juce::Justification::centred, true);
}

void OverlayPanel::close()
{
    if (auto* parent = getParentComponent())
    {
        parent->removeChildComponent (this);

        if (onClose)
            onClose();
    }
}
