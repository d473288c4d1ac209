# Tests of the windows: the real forms and widgets on Qt's offscreen platform, with the desktop
# answered by FakePlatform.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

function(kvillo_gui_test name)
    add_executable(${name} ${name}.cpp ${ARGN})
    target_link_libraries(${name} PRIVATE kvillo_app Qt6::Test)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

kvillo_gui_test(test_main_window)
kvillo_gui_test(test_commands)
kvillo_gui_test(test_backup)
kvillo_gui_test(test_tray)
kvillo_gui_test(test_russian)
kvillo_gui_test(test_desktop)
kvillo_gui_test(test_clicks)
kvillo_gui_test(test_accessibility)
kvillo_gui_test(test_find_bar)
kvillo_gui_test(test_window_settings)
include(printing_tests.cmake)

kvillo_gui_test(test_single_instance)
target_compile_definitions(test_single_instance PRIVATE KVILLO_EXECUTABLE="$<TARGET_FILE:kvillo>"
    KVILLO_WINDOW_LIBRARY="$<TARGET_FILE:kvillo_window>")
add_dependencies(test_single_instance kvillo)

add_test(NAME test_install COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/test_install.sh ${CMAKE_BINARY_DIR})

add_test(NAME test_window_manager COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/test_window_manager.sh $<TARGET_FILE:kvillo>
    $<TARGET_FILE:kvillo_window>)
set_tests_properties(test_window_manager PROPERTIES SKIP_RETURN_CODE 77)

add_test(NAME test_screen_reader COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/test_screen_reader.sh $<TARGET_FILE:kvillo>
    $<TARGET_FILE:kvillo_window>)
# Alone: keys sent to its display while another test drives a program of its own lost their focus
# events now and then.
set_tests_properties(test_screen_reader PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)

# Not a test: the program under a dark colour scheme, for tools/screenshots.
add_executable(dark_preview dark_preview.cpp)
target_link_libraries(dark_preview PRIVATE kvillo_ui)
