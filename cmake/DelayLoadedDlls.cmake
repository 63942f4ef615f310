# Windows looks for a statically imported DLL beside the executable first,
# unless it is one of the system's KnownDLLs. The installer runs elevated from
# a download folder, where anyone may drop a "version.dll": so the executable
# imports only KnownDLLs, and every other system DLL the framework needs is
# delay-loaded, that is loaded at its first call, by which time the process
# has told the loader to search System32 alone (platform/ProcessEntry_windows.cpp).
#
# MinGW ships plain import libraries only; a delay-import library of the same
# DLL is made here from the names its import library exports.

# Imported by the framework and the platform layer, and not KnownDLLs.
set(TSR_DELAY_LOADED_DLLS version winmm wininet rstrtmgr dxgi)

# wsock32 only forwards to ws2_32, a KnownDLL that exports every name the
# framework takes from it: resolved there, it is never imported at all.
set(TSR_DROPPED_DLLS wsock32)

set(delay_dir "${CMAKE_BINARY_DIR}/delayload")
file(MAKE_DIRECTORY "${delay_dir}")
set(TSR_DELAY_LIBRARIES)

foreach(dll IN LISTS TSR_DELAY_LOADED_DLLS)
    set(import_lib "${TSR_MINGW_SYSROOT}/lib/lib${dll}.a")
    set(delay_lib "${delay_dir}/lib${dll}_delay.a")

    if(NOT EXISTS "${delay_lib}" OR "${import_lib}" IS_NEWER_THAN "${delay_lib}")
        execute_process(COMMAND x86_64-w64-mingw32-nm -g --defined-only "${import_lib}"
                        OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "Cannot list the exports of ${import_lib}")
        endif()

        # Each function the DLL exports is a text symbol of its import library.
        string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" functions "${symbols}")
        list(TRANSFORM functions REPLACE "^[0-9a-f]+ T " "")
        list(REMOVE_DUPLICATES functions)
        list(JOIN functions "\n    " exports)
        file(WRITE "${delay_dir}/${dll}.def" "LIBRARY ${dll}.dll\nEXPORTS\n    ${exports}\n")

        execute_process(COMMAND x86_64-w64-mingw32-dlltool --input-def "${delay_dir}/${dll}.def"
                                --output-delaylib "${delay_lib}"
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "Cannot make the delay-import library of ${dll}.dll")
        endif()
    endif()

    list(APPEND TSR_DELAY_LIBRARIES "${delay_lib}")
endforeach()

# The framework's modules name their system libraries for the linker; those
# named above are replaced by the delay-import libraries, or dropped.
foreach(module IN ITEMS juce_core juce_gui_basics)
    get_target_property(libraries ${module} INTERFACE_LINK_LIBRARIES)
    list(REMOVE_ITEM libraries ${TSR_DELAY_LOADED_DLLS} ${TSR_DROPPED_DLLS})
    set_property(TARGET ${module} PROPERTY INTERFACE_LINK_LIBRARIES "${libraries}")
endforeach()

# The helper that loads a DLL at its first call.
list(APPEND TSR_DELAY_LIBRARIES delayimp)
