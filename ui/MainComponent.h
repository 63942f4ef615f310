#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include "../install/FormatCatalogue.h"
#include "../install/InstallDetection.h"
#include "../install/Installer.h"
#include "../install/InstallRun.h"
#include "../look/CustomLookAndFeel.h"
#include "../look/ScreenControls.h"
#include "../platform/UserShell.h"
#include <functional>
#include <array>
#include <memory>

class OverlayPanel;
class panel_changelog;
class panel_eula;
class panel_settings;
class panel_support;

/** Names of the six link buttons of the main screen, in layout order. */
inline constexpr std::array<const char*, 6> extraNames { "EULA", "MANUAL", "WEBSITE", "SUPPORT", "SETTINGS", "CHANGES" };

/** The one component that fills the main window: the state of the main screen,
    its invisible buttons laid out in proportion to the width, and the install
    folders loaded from the shared settings file.

    Every clickable area is a fully transparent ScreenButton identified by its
    component name; the component paints what the user sees beneath them.
    Each button's title, hint, state and action come from one table, which
    the mouse, the keyboard and screen readers share. */
class MainComponent : public juce::Component,
                      public juce::Button::Listener,
                      private juce::Timer
{
public:
    MainComponent();
    ~MainComponent() override;

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;
    void buttonStateChanged (juce::Button*) override;
    void modifierKeysChanged (const juce::ModifierKeys&) override;
    void mouseMove (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;

    /** Tab or Shift+Tab while the screen itself holds the focus (at start,
        and after a panel closed by the mouse) goes to its first or last
        control. */
    bool keyPressed (const juce::KeyPress&) override;

    /** Takes a folder chosen in the settings panel; the panel has already
        written it to the settings file. Unknown attribute names only repaint. */
    void setInstallFolder (const juce::String& attributeName, const juce::String& folderPath);

    /** The item a format installs in its current install folder. */
    juce::File pluginItemFor (int format) const;
    bool isPluginItemPresent (int format) const;
    DetectedInstall detectInstallState (int format) const;

    /** Starts installing, or with Shift held removing, every selected format
        on the run's own thread; the screen shows its progress and then the
        finished screen. With nothing selected it starts nothing and says so.
        Runs once: the buttons that start it are hidden. */
    void installSelected();

    /** Starts a run of the formats given, as a click on INSTALL does with
        the selection; the command line's way in. A newer copy than the one
        carried is replaced only when replaceNewer says so. */
    void startRun (const std::array<bool, numFormats>& formats, bool uninstall, bool replaceNewer);

    /** Asked for who hears of a run as it goes (a log), just before the run
        is made; told of the run once its finished screen shows. */
    std::function<InstallRun::Observer (const InstallRun::Request&)> observeRun;
    std::function<void (const InstallRun&)> onRunFinished;

    /** When set, each run brings the product's uninstall entry and kept
        manager in line with what it leaves installed. */
    std::optional<ProductRegistration::Product> registration;

    /** Asks a run to stop after the format it works on, as closing the
        window does; its finished screen follows. */
    void stopRun()                                                { if (run != nullptr) run->stop(); }

    /** True from the start of a run until its finished screen shows. */
    bool isRunning() const noexcept                               { return run != nullptr && ! installFinished; }

    /** Takes what the run is doing now and repaints what changed; the
        screen's timer calls it while a run works. Never waits for the run. */
    void showRunProgress();

    /** What the run is doing, as the screen last showed it. */
    const InstallRun::Status& getShownRunStatus() const noexcept   { return shownStatus; }

    /** What the run started was asked to do; nothing before one starts. */
    InstallRun::Request getRunRequest() const                      { return run != nullptr ? run->getRequest() : InstallRun::Request(); }

    /** Waits for a run to end and shows its finished screen at once, as the
        screen's own timer would a moment later. */
    void waitForInstallRun();

    /** The file calls runs use: the system's, unless a test gives others.
        They must outlive this component, whose run works on them until it goes. */
    void setFileSystemForRuns (platform::FileSystem& fs) noexcept  { runFileSystem = &fs; }

    /** How each format of the finished run went. */
    const InstallOutcomes& getInstallOutcomes() const noexcept   { return installOutcomes; }
    bool didInstallSucceed() const;
    bool isInstallFinished() const noexcept                       { return installFinished; }
    bool isShiftHeld() const noexcept                             { return shiftHeld; }

    /** Hands a web page to the signed-in user's browser; false when that
        cannot be done, and the hint line then gives the address instead. */
    std::function<bool (const juce::URL&)> openUrl = platform::openAsUser;

    /** Speaks through the screen reader, if one runs, what changes without
        focus moving: a run's start, a wait for a file in use and its end; all
        formats selected; nothing selected to run; a link that shows as words. */
    std::function<void (const juce::String&)> announce = [] (const juce::String& text)
    {
        juce::AccessibilityHandler::postAnnouncement (text, juce::AccessibilityHandler::AnnouncementPriority::high);
    };

    //==============================================================================
    float getLayoutUnit() const noexcept                                 { return layoutUnit; }
    bool isSelected (int format) const                                   { return selected[(size_t) format]; }
    const std::array<juce::File, numFormats>& getInstallFolders() const  { return installFolders; }
    const juce::File& getSettingsFolder() const noexcept                 { return settingsFolder; }

    /** Why the settings file found at start was not believed ("<path>: <why>");
        empty when it was, or there was none. */
    const juce::String& getSettingsDistrust() const noexcept             { return settingsDistrust; }
    juce::Label& getHintLabel() noexcept                                 { return *hintLabel; }

    const CustomLookAndFeel& getCustomLookAndFeel() const noexcept    { return lookAndFeel; }
    panel_eula* getEulaPanel() const noexcept                         { return eulaPanel.get(); }
    panel_changelog* getChangelogPanel() const noexcept               { return changelogPanel.get(); }
    panel_support* getSupportPanel() const noexcept                   { return supportPanel.get(); }
    panel_settings* getSettingsPanel() const noexcept                 { return settingsPanel.get(); }

private:
    void loadSettings();
    void paintLinkButtons (juce::Graphics&, float u);
    void paintInstallButton (juce::Graphics&, float u);
    void paintFinishedDisplay (juce::Graphics&, float u);
    void paintFormatArea (juce::Graphics&, float u);
    void paintRunDisplay (juce::Graphics&, float u);

    /** The main screen's controls, in reading order: what each is called,
        says and does. */
    std::vector<ScreenControl> controlTable();
    juce::String tileHint (int format) const;

    /** What a format's row of the run display says now. */
    juce::String runRowText (int format) const;

    /** What became of a format of the finished run, in a sentence that says
        where: "VST3 installed in C:\...\VST3.", "CLAP failed: the disk is full." */
    juce::String outcomeSentence (int format) const;

    /** The run display, or the finished screen's result, as one text. */
    juce::String runText() const;
    juce::String startAnnouncement() const;
    juce::String finishAnnouncement() const;

    /** Shows the controls the screen offers now: none under a panel, no
        tiles, SELECT ALL or INSTALL once a run has started. */
    void updateControlVisibility();

    /** The tiles, SELECT ALL and INSTALL: the controls gone once a run starts. */
    bool startsRuns (const juce::Component*) const;

    void timerCallback() override;
    void finishRun();

    /** Where the finished run put the formats that succeeded, or took them
        from: the resting text of the finished screen's hint line. */
    juce::String runSummary() const;

    /** Where the finished screen writes each failed format's line; empty
        for a format that did not fail. */
    std::array<juce::Rectangle<float>, numFormats> failureLines() const;

    /** The failure line of the finished screen under a point, or -1. */
    int failureLineAt (juce::Point<float>) const;

    /** The area the run's progress and the finished display take. */
    juce::Rectangle<float> runArea() const;

    /** Shows a newly made panel over the whole screen and gives it the
        focus; one of its kind before it is destroyed now. Closing it gives
        the focus back to the button that opened it. */
    template <typename Panel>
    void openPanel (std::unique_ptr<Panel>& member, std::unique_ptr<Panel> panel, const juce::String& opener);
    void panelClosed();

    /** Opens a link, or says its address where it cannot be opened. */
    void openLink (const juce::URL&);

    /** Gives a panel the current unit, then the whole screen, and keeps it on
        top. The unit goes in first, so the panel's own layout already uses it. */
    void fitPanel (OverlayPanel&);

    /** Refits every panel held, shown or closed. */
    void refitPanels();

    /** Each kind of panel, shown or closed; nullptr for one never opened. */
    std::array<OverlayPanel*, 4> heldPanels() const;
    OverlayPanel* openPanelShown() const;

    //==============================================================================
    int lastModifierFlags = 0;
    CustomLookAndFeel lookAndFeel;
    float layoutUnit = 9.0f;
    juce::String productName;
    juce::String productVersion;
    juce::String platformSuffix;

    std::vector<std::unique_ptr<ScreenButton>> controls;
    std::array<ScreenButton*, extraNames.size()> extraButtons {};
    std::array<ScreenButton*, numFormats> formatButtons {};
    ScreenButton* installButton = nullptr;
    ScreenButton* selectAllButton = nullptr;

    // What the screen paints as text, for screen readers.
    std::unique_ptr<ScreenText> productText, managerText, runStatusText;
    std::unique_ptr<FocusRing::Watcher> focusRingWatcher;
    juce::Component::SafePointer<juce::Component> panelOpener;
    bool waitAnnounced = false;

    std::unique_ptr<panel_eula> eulaPanel;
    std::unique_ptr<panel_support> supportPanel;
    std::unique_ptr<panel_settings> settingsPanel;
    std::unique_ptr<panel_changelog> changelogPanel;

    std::unique_ptr<juce::Label> hintLabel;

    std::array<std::unique_ptr<juce::Drawable>, numFormats> formatIcons;
    std::unique_ptr<juce::Drawable> installIcon;
    std::unique_ptr<juce::Drawable> logo;

    juce::URL websiteUrl;
    juce::URL manualUrl;
    juce::File settingsFolder;
    juce::String settingsDistrust;

    bool shiftHeld = false;
    bool installFinished = false;
    std::array<bool, numFormats> selected {};
    std::array<juce::File, numFormats> installFolders;
    InstallOutcomes installOutcomes;

    platform::FileSystem* runFileSystem = &platform::systemFileSystem();
    std::unique_ptr<InstallRun> run;
    InstallRun::Status shownStatus;
    int hoveredFailureLine = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
