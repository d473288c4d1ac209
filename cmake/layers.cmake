# The layers' arrows point one way: app -> ui -> dialogs/print -> data. A source file that includes
# against them stops the configuration, so the build itself keeps the layers apart.
#   data/             the standard library and data/ only: no Qt, nothing of the other folders
#   dialogs/, print/  nothing of the main window (ui/Unit1*) and nothing of app/
#   ui/               nothing of app/ or cli/
#   cli/              no window: nothing of app/, ui/, dialogs/, print/
#   channel/          the channel between programs: data/ and Qt Core and Network only
# The check runs at configuration and, as the test "layers", on every test run
# (cmake -DSOURCE=<tree> -P cmake/layers.cmake).
if(NOT KVILLO_TREE)
    set(KVILLO_TREE ${CMAKE_CURRENT_SOURCE_DIR})
endif()

function(kvillo_check_layer folder)
    cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "FORBIDDEN")
    file(GLOB sources ${KVILLO_TREE}/${folder}/*.h ${KVILLO_TREE}/${folder}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${includes})
            foreach(pattern ${LAYER_FORBIDDEN})
                if(line MATCHES "${pattern}")
                    file(RELATIVE_PATH name ${KVILLO_TREE} ${source})
                    message(FATAL_ERROR "${name}: \"${line}\" crosses the layers (${folder}/ may not include ${pattern})")
                endif()
            endforeach()
        endforeach()
    endforeach()
endfunction()

kvillo_check_layer(data FORBIDDEN "<Q" "\"(app|ui|dialogs|print)/")
kvillo_check_layer(dialogs FORBIDDEN "\"ui/Unit1" "\"app/")
kvillo_check_layer(print FORBIDDEN "\"ui/Unit1" "\"dialogs/" "\"app/")
kvillo_check_layer(ui FORBIDDEN "\"app/" "\"cli/")
kvillo_check_layer(cli FORBIDDEN "\"app/" "\"ui/" "\"dialogs/" "\"print/")
kvillo_check_layer(channel FORBIDDEN "\"app/" "\"ui/" "\"dialogs/" "\"print/" "\"cli/")
