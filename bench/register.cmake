# The cell register: the capacity-first match of 10000 cells, record of 100000 readings
# into SQLite against convert, and cells over 100000 cells.
add_executable(bench_register bench_register.cpp)
target_link_libraries(bench_register PRIVATE bench_harness analysis link_protocol)
target_compile_definitions(bench_register PRIVATE BATTERY_CLI="$<TARGET_FILE:battery-analyzer-cli>")
add_dependencies(bench_register battery-analyzer-cli)
battery_warnings(bench_register)
