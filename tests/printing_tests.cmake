# Printing: the layout with a canvas of fixed metrics, and Qt's printers (PDF files and, where a
# test queue is the default printer, the real CUPS queue).
kvillo_gui_test(test_printing)
kvillo_gui_test(test_qt_printing)
# The CUPS job may take a while to go through the queue and its PDF backend.
set_tests_properties(test_qt_printing PROPERTIES TIMEOUT 300)
# With no print system to ask, the default printer cannot be found.
add_test(NAME test_qt_printing_no_printer COMMAND test_qt_printing noDefaultPrinter)
set_tests_properties(test_qt_printing_no_printer PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CUPS_SERVER=/nonexistent/kvillo-cups.sock")
