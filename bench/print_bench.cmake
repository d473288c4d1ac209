add_executable(bench_print bench_print.cpp)
target_include_directories(bench_print PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_print PRIVATE kvillo_print)
