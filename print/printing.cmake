# Printing the address list: the report, its layout on the page and Qt's printers.
target_sources(kvillo_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/print_command.cpp
    ${CMAKE_CURRENT_LIST_DIR}/printer_text_device.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_printing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/report.cpp
)
