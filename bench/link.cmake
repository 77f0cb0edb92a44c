# The whole receive path at full speed: analyzer-sim, pseudo-terminal, serial control,
# decoder and board.
add_executable(bench_link bench_link.cpp)
target_link_libraries(bench_link PRIVATE bench_harness link linktext board)
target_compile_definitions(bench_link PRIVATE ANALYZER_SIM="$<TARGET_FILE:analyzer-sim>")
add_dependencies(bench_link analyzer-sim)
battery_warnings(bench_link)
