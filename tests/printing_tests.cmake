# Printing: the layout with a canvas of fixed metrics.
kvillo_gui_test(test_printing)
