# Embeds files with JUCE's binary-data generator. Unlike juce_add_binary_data,
# the generated sources depend on the files themselves, so an edited or
# regenerated asset is embedded again on the next build.

function(tsr_add_binary_data target)
    cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
    set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_generated")
    file(MAKE_DIRECTORY "${out_dir}")

    list(LENGTH ARG_SOURCES count)
    set(outputs "${out_dir}/BinaryData.h")
    foreach(index RANGE 1 ${count})
        list(APPEND outputs "${out_dir}/BinaryData${index}.cpp")
    endforeach()

    string(REPLACE ";" "\n" file_list "${ARG_SOURCES}")
    file(WRITE "${out_dir}/input_file_list.tmp" "${file_list}\n")
    configure_file("${out_dir}/input_file_list.tmp" "${out_dir}/input_file_list" COPYONLY)

    add_custom_command(OUTPUT ${outputs}
        COMMAND juce::juceaide binarydata BinaryData BinaryData.h "${out_dir}" "${out_dir}/input_file_list"
        DEPENDS "${out_dir}/input_file_list" ${ARG_SOURCES}
        COMMENT "Embedding resources"
        VERBATIM)

    add_library(${target} STATIC ${outputs})
    target_include_directories(${target} INTERFACE "${out_dir}")
    target_compile_features(${target} PRIVATE cxx_std_17)
endfunction()
