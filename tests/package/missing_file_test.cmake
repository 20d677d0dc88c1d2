# Run as cmake -DSOURCE=<source dir> -P: an install rule naming a missing file
# must stop the build with the file's name. The rule runs in a cmake of its own
# whose messages are read with their white space folded, because cmake wraps an
# error's text at a width, so where the lines break depends on how long the
# source folder's path is.
if(NOT DEFINED RULE_ONLY)
    execute_process(COMMAND "${CMAKE_COMMAND}" "-DSOURCE=${SOURCE}" -DRULE_ONLY=1
                            -P "${CMAKE_CURRENT_LIST_FILE}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REGEX REPLACE "[ \t\r\n]+" " " said "${out}${err}")
    string(REGEX REPLACE "[ \t\r\n]+" " " expected
           "The install rules name ${SOURCE}/docs/no-such-file.txt, which is missing.")
    string(FIND "${said}" "${expected}" at)
    if(result EQUAL 0)
        message(FATAL_ERROR "an install rule naming a missing file did not stop the build:\n${out}${err}")
    elseif(at EQUAL -1)
        message(FATAL_ERROR "the error does not say \"${expected}\":\n${out}${err}")
    endif()
    message(STATUS "the missing file stops the build with its name")
    return()
endif()
include("${SOURCE}/cmake/TavoInstall.cmake")
tavo_install_files(DESTINATION share/tavo-utility FILES "${SOURCE}/docs/no-such-file.txt")
message(STATUS "no error for a missing file")
