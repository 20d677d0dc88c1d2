# Run as cmake -DSOURCE=<source dir> -P: an install rule naming a missing file
# must stop with the file's name.
include(${SOURCE}/cmake/TavoInstall.cmake)
tavo_install_files(DESTINATION share/tavo-utility FILES ${SOURCE}/docs/no-such-file.txt)
message(STATUS "no error for a missing file")
