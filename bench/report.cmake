# The report of 10000 cells: writing it, its size, and a headless browser drawing it.
add_executable(bench_report bench_report.cpp)
target_link_libraries(bench_report PRIVATE bench_harness link_protocol Qt6::Core)
target_compile_definitions(bench_report PRIVATE BATTERY_CLI="$<TARGET_FILE:battery-analyzer-cli>")
add_dependencies(bench_report battery-analyzer-cli)
battery_warnings(bench_report)
