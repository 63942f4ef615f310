# JUCE is compiled once, as one static library that the app, the tests and the
# benchmarks all link. Linking the juce:: module targets into each executable
# would compile every module again per target.

set(TSR_JUCE_MODULES juce_core juce_events juce_data_structures juce_graphics juce_gui_basics)

add_library(tsr_juce STATIC)

foreach(module IN LISTS TSR_JUCE_MODULES)
    target_link_libraries(tsr_juce PRIVATE juce::${module})
    target_compile_definitions(tsr_juce PUBLIC JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()

target_link_libraries(tsr_juce
    PUBLIC
        juce::juce_recommended_config_flags)

# Debian strips JUCE's bundled image and zlib code; the system libraries must be
# on the link line of every executable, after this archive.
if(WIN32)
    # Windows has no such system libraries: link the cross-built static ones, and
    # link the C and C++ runtimes statically so the exe imports only system DLLs.
    target_include_directories(tsr_juce PUBLIC "${TSR_WINDOWS_DEPS}/include")
    target_link_libraries(tsr_juce PUBLIC
        "${TSR_WINDOWS_DEPS}/lib/libpng16.a"
        "${TSR_WINDOWS_DEPS}/lib/libjpeg.a"
        "${TSR_MINGW_SYSROOT}/lib/libz.a")
    target_link_options(tsr_juce PUBLIC -static -static-libgcc -static-libstdc++)

    # Linked with the framework, so that its call to CreateDXGIFactory finds
    # this definition before the import library's.
    target_sources(tsr_juce PRIVATE "${CMAKE_CURRENT_LIST_DIR}/../platform/DxgiFactory_windows.cpp")

    include(${CMAKE_CURRENT_LIST_DIR}/DelayLoadedDlls.cmake)
    target_link_libraries(tsr_juce PUBLIC ${TSR_DELAY_LIBRARIES})
else()
    target_link_libraries(tsr_juce PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()

target_include_directories(tsr_juce
    PUBLIC $<TARGET_PROPERTY:juce::juce_core,INTERFACE_INCLUDE_DIRECTORIES>)

target_compile_definitions(tsr_juce
    PUBLIC
        JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
        JUCE_STANDALONE_APPLICATION=1
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_USE_CURL=0
        JUCE_WEB_BROWSER=0
        JUCE_USE_DIRECTWRITE=0
        $<IF:$<CONFIG:Debug>,DEBUG=1 _DEBUG=1,NDEBUG=1 _NDEBUG=1>
        $<$<NOT:$<BOOL:${WIN32}>>:LINUX=1>)

target_compile_features(tsr_juce PUBLIC cxx_std_17)
