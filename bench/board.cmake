add_executable(bench_board bench_board.cpp)
target_link_libraries(bench_board PRIVATE bench_harness board)
battery_warnings(bench_board)
