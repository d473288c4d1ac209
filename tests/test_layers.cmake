# The layer check itself. An include case plants one include in a tree of its own and runs
# cmake/layers.cmake over it; a links case checks one layer's linked layers against the table.
# The check must stop on exactly the crossing ones, naming the file or library.
#   cmake -DSOURCE=<source tree> -DWORK=<scratch folder> -P tests/test_layers.cmake
cmake_minimum_required(VERSION 3.25)

# expected result | file | the include it holds
set(include_cases
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
    "fail|channel/socket.cpp|#include <QtNetwork/QLocalSocket>"
    "pass|app/listener.cpp|#include <QtNetwork/QLocalServer>"
    "pass|print/layout.cpp|#include \"sys/errors.h\""
    "pass|app/start.cpp|#include \"ui/Unit1.h\""
    "pass|ui/window.cpp|#include \"dialogs/Unit3.h\""
    "pass|book/same_folder.cpp|#include \"line_list.h\""
)
# expected result | layer | the layers its library links
set(link_cases
    "pass|print|desktop book"
    "pass|sys|"
    "fail|print|desktop book channel"
    "fail|book|sys ui"
    "fail|dialogs|desktop"
)

set(failures 0)
set(number 0)
# Runs `script` (a CMake script's text); a "fail" case must stop with `named` in the message.
function(expect expected script named)
    math(EXPR number "${number} + 1")
    set(number ${number} PARENT_SCOPE)
    file(WRITE ${WORK}/layers-case.cmake "${script}")
    execute_process(COMMAND ${CMAKE_COMMAND} -P ${WORK}/layers-case.cmake
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    string(FIND "${errors}" "${named}" found)
    if((expected STREQUAL "pass" AND NOT result EQUAL 0) OR (expected STREQUAL "fail" AND (result EQUAL 0 OR found EQUAL -1)))
        message(SEND_ERROR "case ${number} should ${expected}:\n${script}\n${errors}")
        math(EXPR failures "${failures} + 1")
        set(failures ${failures} PARENT_SCOPE)
    endif()
endfunction()

set(tree ${WORK}/layers-tree)
foreach(case ${include_cases})
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 expected)
    list(GET fields 1 file)
    list(GET fields 2 include)
    file(REMOVE_RECURSE ${tree})
    file(WRITE ${tree}/${file} "#pragma once\n\n${include}\n")
    expect(${expected} "set(KVILLO_TREE ${tree})\ninclude(${SOURCE}/cmake/layers.cmake)\n" "${file}: ")
endforeach()
foreach(case ${link_cases})
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 expected)
    list(GET fields 1 layer)
    list(GET fields 2 linked)
    string(REPLACE " " ";" linked "${linked}")
    file(REMOVE_RECURSE ${tree})
    file(MAKE_DIRECTORY ${tree})
    expect(${expected} "set(KVILLO_TREE ${tree})\ninclude(${SOURCE}/cmake/layers.cmake)\nkvillo_check_links(${layer} \"${linked}\")\n"
        "kvillo_${layer} links")
endforeach()
file(REMOVE_RECURSE ${tree} ${WORK}/layers-case.cmake)
math(EXPR passed "${number} - ${failures}")
message("${passed} passed, ${failures} failed")
if(failures)
    message(FATAL_ERROR "the layer check let a crossing through or stopped a sound one")
endif()
