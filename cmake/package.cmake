# Installing. The program directory <prefix>/lib/kvillo holds the executable either way.
set(KVILLO_PROGRAM_DIR lib/kvillo)
install(TARGETS kvillo RUNTIME DESTINATION ${KVILLO_PROGRAM_DIR})
install(TARGETS kvillo_window LIBRARY DESTINATION ${KVILLO_PROGRAM_DIR})
foreach(size 16 32 48 64 128)
    install(FILES resources/icons/kvillo-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
            RENAME kvillo.png)
endforeach()

if(NOT KVILLO_USER_DATA)
    # Beside the program: its database/ and config/ lie there, as the program expects; the shipped
    # empty data files and default settings go there only where none exist, so a reinstall never
    # touches a user's data.
    install(CODE "
        set(program_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KVILLO_PROGRAM_DIR}\")
        execute_process(COMMAND \"${CMAKE_COMMAND}\" -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/resources/book
                                -DDESTINATION=\${program_dir} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/copy_defaults.cmake
                        COMMAND_ERROR_IS_FATAL ANY)
        set(KVILLO_EXEC \"\${CMAKE_INSTALL_PREFIX}/${KVILLO_PROGRAM_DIR}/kvillo\")
        configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/kvillo.desktop.in ${CMAKE_BINARY_DIR}/kvillo.desktop @ONLY)
    ")
    install(FILES ${CMAKE_BINARY_DIR}/kvillo.desktop DESTINATION share/applications)
    return()
endif()

# Installing for everyone (KVILLO_USER_DATA): the program in <prefix>/lib/kvillo with a `kvillo`
# command on the PATH. Each user's address book lives in their own data folder, so nothing beside
# the program is ever written and no data files are installed. CPack turns the install into a
# Debian package (tools/package).

set(package_dir ${CMAKE_BINARY_DIR}/package)
set(package_sources ${CMAKE_CURRENT_SOURCE_DIR}/resources/package)
file(MAKE_DIRECTORY ${package_dir}/bin)

file(CREATE_LINK ../${KVILLO_PROGRAM_DIR}/kvillo ${package_dir}/bin/kvillo SYMBOLIC)
install(FILES ${package_dir}/bin/kvillo DESTINATION bin)

set(KVILLO_EXEC kvillo)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/kvillo.desktop.in ${package_dir}/kvillo.desktop @ONLY)
install(FILES ${package_dir}/kvillo.desktop DESTINATION share/applications)

set(KVILLO_APPSTREAM_ID org.example.kvillo)
configure_file(${package_sources}/kvillo.metainfo.xml.in ${package_dir}/${KVILLO_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${package_dir}/${KVILLO_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)

configure_file(${package_sources}/copyright.in ${package_dir}/copyright @ONLY)
configure_file(${package_sources}/changelog.in ${package_dir}/changelog @ONLY)
install(FILES ${package_dir}/copyright DESTINATION share/doc/kvillo)

# Debian wants the manual page, the changelog and larger documents compressed at the highest level,
# without a name or time stamp in the header (so that the same sources give the same package).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${package_sources}/kvillo.1
    ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
foreach(pair "${package_sources}/kvillo.1|kvillo.1.gz" "${package_dir}/changelog|changelog.gz"
        "${CMAKE_CURRENT_SOURCE_DIR}/README.md|README.md.gz")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${package_dir}/${target} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${package_dir}/kvillo.1.gz DESTINATION share/man/man1)
install(FILES ${package_dir}/changelog.gz ${package_dir}/README.md.gz DESTINATION share/doc/kvillo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvillo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KVILLO_AUTHOR} <${KVILLO_SUPPORT_MAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "e-mail address book with a Russian user interface")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Kvillo keeps e-mail addresses with free-text descriptions and shows them"
    "side by side in one window. It adds, edits and deletes entries, copies an"
    "address, starts a message in the desktop's mail program, prints the list,"
    "and backs the address book up and restores it."
    ""
    "Each user's address book lives in their own data folder"
    "(~/.local/share/kvillo). Its files are byte for byte those of the Windows"
    "program.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${KVILLO_SITE_HOST}/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the program links are found by dpkg-shlibdeps. Qt loads its Russian translations
# for the standard buttons and dialogs at run time, which no link shows; the program runs without
# them (in English there), so they are recommended rather than required. Links (the web site, help,
# "Написать этому") open through xdg-open; without it the program says that it cannot open them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
include(CPack)
