# The layer check itself: each case plants one include in a tree of its own and runs
# cmake/layers.cmake over it, which must stop exactly on the includes that cross the layers.
#   cmake -DSOURCE=<source tree> -DWORK=<scratch folder> -P tests/test_layers.cmake
cmake_minimum_required(VERSION 3.25)

# expected result | file | the include it holds
set(cases
    "fail|book/address_view.h|#include \"ui/Unit1.h\""
    "fail|sys/system_extra.cpp|#include \"book/line_list.h\""
    "fail|exchange/format.cpp|  #  include \"desktop/text.h\""
    "fail|dialogs/about.cpp|#include \"print/report.h\""
    "fail|desktop/canvas.cpp|#include \"print/printer_text_device.h\""
    "fail|cli/window.cpp|#include \"ui/list_box.h\""
    "fail|channel/hand_over.cpp|#include \"cli/book_access.h\""
    "fail|book/helper.h|#include \"tests/fake_platform.h\""
    "fail|book/escape.h|#include \"../ui/Unit1.h\""
    "fail|exchange/names.cpp|#include <QString>"
    "fail|sys/files.cpp|#include <QtCore/QFile>"
    "fail|channel/show.cpp|#include <QtWidgets/QWidget>"
    "fail|cli/print.cpp|#include <QtGui>"
    "pass|channel/socket.cpp|#include <QtNetwork/QLocalSocket>"
    "pass|print/layout.cpp|#include \"sys/errors.h\""
    "pass|app/start.cpp|#include \"ui/Unit1.h\""
    "pass|ui/window.cpp|#include \"dialogs/Unit3.h\""
    "pass|book/same_folder.cpp|#include \"line_list.h\""
)

set(failures 0)
set(number 0)
foreach(case ${cases})
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 expected)
    list(GET fields 1 file)
    list(GET fields 2 include)
    math(EXPR number "${number} + 1")
    set(tree ${WORK}/layers-${number})
    file(REMOVE_RECURSE ${tree})
    file(WRITE ${tree}/${file} "#pragma once\n\n${include}\n")
    execute_process(COMMAND ${CMAKE_COMMAND} -DKVILLO_TREE=${tree} -P ${SOURCE}/cmake/layers.cmake
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    # A failure must be the planted include's, named with its file.
    string(FIND "${errors}" "${file}: " named)
    if(expected STREQUAL "pass" AND NOT result EQUAL 0)
        message(SEND_ERROR "${file} with '${include}' was refused:\n${errors}")
        math(EXPR failures "${failures} + 1")
    elseif(expected STREQUAL "fail" AND (result EQUAL 0 OR named EQUAL -1))
        message(SEND_ERROR "${file} with '${include}' was let through:\n${errors}")
        math(EXPR failures "${failures} + 1")
    endif()
    file(REMOVE_RECURSE ${tree})
endforeach()
math(EXPR passed "${number} - ${failures}")
message("${passed} passed, ${failures} failed")
