# Copies the shipped empty book (its data files and default settings, as laid out in SOURCE) next
# to the program, but only where a file does not exist yet: a user's data and settings are never
# overwritten.
# Usage: cmake -DSOURCE=<resources/book> -DDESTINATION=<dir> -P copy_defaults.cmake
file(GLOB_RECURSE shipped RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(relative IN LISTS shipped)
    if(NOT EXISTS "${DESTINATION}/${relative}")
        get_filename_component(directory "${DESTINATION}/${relative}" DIRECTORY)
        file(MAKE_DIRECTORY "${directory}")
        file(COPY "${SOURCE}/${relative}" DESTINATION "${directory}")
    endif()
endforeach()
