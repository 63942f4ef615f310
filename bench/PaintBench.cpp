// Times painting of the main screen at 600 x 600 into a software image with all
// four formats installed: the whole screen, the detection it runs inside (four
// formats), and the partial repaint a hover over one tile causes.
// Prints its figures; it asserts nothing.

#include "../ui/MainComponent.h"
#include <algorithm>
#include <cstdlib>

namespace
{
    template <typename Work>
    double medianMicroseconds (int runs, int perRun, Work&& work)
    {
        std::vector<double> times;
        for (int r = 0; r < runs; ++r)
        {
            const auto start = juce::Time::getMillisecondCounterHiRes();
            for (int i = 0; i < perRun; ++i)
                work();
            times.push_back ((juce::Time::getMillisecondCounterHiRes() - start) * 1000.0 / perRun);
        }
        std::sort (times.begin(), times.end());
        return times[times.size() / 2];
    }
}

int main()
{
    const auto home = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tsr-paint-bench", {});
    home.createDirectory();
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    ::unsetenv ("XDG_DATA_HOME");
    ::unsetenv ("VST_PATH");

    juce::ScopedJuceInitialiser_GUI gui;
    double full = 0, detection = 0, hover = 0;
    {
        MainComponent main;
        for (int format = 0; format < numFormats; ++format)
            installFormat (main.getInstallFolders()[(size_t) format], "Vantorix3", format, archiveFor (format));

        juce::Image image (juce::Image::ARGB, 600, 600, true);
        const auto tile = main.getChildComponent (6)->getBounds();    // the VST3 toggle

        full = medianMicroseconds (9, 200, [&]
        {
            juce::Graphics g (image);
            main.paintEntireComponent (g, true);
        });

        detection = medianMicroseconds (9, 200, [&]
        {
            for (int format = 0; format < numFormats; ++format)
                main.detectInstallState (format);
        });

        hover = medianMicroseconds (9, 200, [&]
        {
            juce::Graphics g (image);
            g.reduceClipRegion (tile);
            main.paintEntireComponent (g, true);
        });
    }

    std::printf ("main screen 600 x 600, four formats installed, median of 9 x 200 paints\n");
    std::printf ("  full paint                         %8.1f us\n", full);
    std::printf ("  detection of four formats inside   %8.1f us  (%.1f %% of the paint)\n", detection, 100.0 * detection / full);
    std::printf ("  paint without detection            %8.1f us\n", full - detection);
    std::printf ("  hover repaint of one tile          %8.1f us\n", hover);

    home.deleteRecursively();
    return 0;
}
