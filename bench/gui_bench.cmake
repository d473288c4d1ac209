add_executable(bench_window bench_window.cpp)
target_link_libraries(bench_window PRIVATE kvillo_ui)
include(print_bench.cmake)
