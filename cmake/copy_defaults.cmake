# Copies the shipped empty data files and default settings next to the program, but only where
# none exist: a user's data and settings are never overwritten.
# Usage: cmake -DSOURCE=<resources dir> -DDESTINATION=<dir> -P copy_defaults.cmake
foreach(relative database/mails.dat database/descriptions.dat config/config.ini)
    if(NOT EXISTS "${DESTINATION}/${relative}")
        get_filename_component(directory "${DESTINATION}/${relative}" DIRECTORY)
        file(MAKE_DIRECTORY "${directory}")
        file(COPY "${SOURCE}/${relative}" DESTINATION "${directory}")
    endif()
endforeach()
