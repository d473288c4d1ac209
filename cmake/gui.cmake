find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets PrintSupport Network)
set(CMAKE_AUTOMOC ON)

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/ui/deployment.h.in ${CMAKE_CURRENT_BINARY_DIR}/generated/ui/deployment.h @ONLY)

add_library(kvillo_ui STATIC
    ui/addresses.cpp
    ui/application.cpp
    ui/guard.cpp
    ui/line_list_model.cpp
    ui/list_box.cpp
    ui/list_panel.cpp
    ui/qt_platform.cpp
    ui/single_instance.cpp
    ui/termination.cpp
    ui/text.cpp
    ui/Unit1.cpp
    ui/Unit1Actions.cpp
    ui/Unit1Files.cpp
    ui/Unit1Tray.cpp
    ui/icons.cpp
    dialogs/entry_dialog.cpp
    dialogs/Unit2.cpp
    dialogs/Unit3.cpp
    dialogs/Unit4.cpp
)
target_include_directories(kvillo_ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(kvillo_ui PUBLIC kvillo_data kvillo_channel Qt6::Widgets Qt6::PrintSupport Qt6::Network)

add_executable(kvillo app/main.cpp)
target_link_libraries(kvillo PRIVATE kvillo_ui kvillo_cli)
# The program looks for database/ and config/ beside itself: build it at the top of the build tree.
set_target_properties(kvillo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(NOT KVILLO_USER_DATA)
    add_custom_command(TARGET kvillo POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/resources -DDESTINATION=$<TARGET_FILE_DIR:kvillo>
                -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/copy_defaults.cmake
        VERBATIM)
endif()
include(${CMAKE_CURRENT_SOURCE_DIR}/print/printing.cmake)

if(KVILLO_USER_DATA)
    include(${CMAKE_CURRENT_SOURCE_DIR}/cmake/package.cmake)
else()
    # Installing: the program directory <prefix>/lib/kvillo holds the executable with its database/
    # and config/ beside it, as the program expects; the shipped empty data files and default
    # settings go there only where none exist, so a reinstall never touches a user's data.
    set(KVILLO_PROGRAM_DIR lib/kvillo)
    install(TARGETS kvillo RUNTIME DESTINATION ${KVILLO_PROGRAM_DIR})
    install(CODE "
        set(program_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KVILLO_PROGRAM_DIR}\")
        execute_process(COMMAND \"${CMAKE_COMMAND}\" -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/resources
                                -DDESTINATION=\${program_dir} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/copy_defaults.cmake
                        COMMAND_ERROR_IS_FATAL ANY)
        set(KVILLO_EXEC \"\${CMAKE_INSTALL_PREFIX}/${KVILLO_PROGRAM_DIR}/kvillo\")
        configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/kvillo.desktop.in ${CMAKE_BINARY_DIR}/kvillo.desktop @ONLY)
    ")
    install(FILES ${CMAKE_BINARY_DIR}/kvillo.desktop DESTINATION share/applications)
endif()
foreach(size 16 32 48 64 128)
    install(FILES resources/icons/kvillo-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
            RENAME kvillo.png)
endforeach()
