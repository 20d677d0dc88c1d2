# install(FILES) that refuses at configure time to name a file that is not there,
# so a missing help page or icon stops the build with its name instead of leaving
# a package without it.
function(tavo_install_files)
    cmake_parse_arguments(ARG "" "DESTINATION;RENAME" "FILES" ${ARGN})
    foreach(f ${ARG_FILES})
        if(NOT EXISTS "${f}")
            message(FATAL_ERROR "The install rules name ${f}, which is missing. Restore it "
                                "(git checkout -- <file>) or take it out of the install rules.")
        endif()
    endforeach()
    if(CMAKE_SCRIPT_MODE_FILE)
        return() # checked only (the test of this check runs in script mode)
    endif()
    if(ARG_RENAME)
        install(FILES ${ARG_FILES} DESTINATION ${ARG_DESTINATION} RENAME ${ARG_RENAME})
    else()
        install(FILES ${ARG_FILES} DESTINATION ${ARG_DESTINATION})
    endif()
endfunction()

# Compresses `source` with gzip -9n into `output` whenever the source changes
# (Debian wants manual pages and changelogs compressed, without a time stamp).
function(tavo_gzip source output)
    if(NOT EXISTS "${source}")
        message(FATAL_ERROR "The install rules name ${source}, which is missing.")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    get_filename_component(dir "${output}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    execute_process(COMMAND gzip -9n -c "${source}" OUTPUT_FILE "${output}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "gzip ${source} failed (${rc})")
    endif()
endfunction()
