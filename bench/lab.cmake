# The lab view as the tool serves it: the cells page over 100 000 cells in headless Chromium,
# a page of results, fifty clients for 30 s against the server's memory, and a recorded
# reading shown live.
find_package(Qt6 6.4 QUIET COMPONENTS Network WebSockets)
if(NOT TARGET Qt6::WebSockets)
  message(STATUS "bench_lab left out: Qt WebSockets is not installed (scripts/setup --all)")
  return()
endif()
add_executable(bench_lab bench_lab.cpp)
target_link_libraries(bench_lab PRIVATE bench_harness labview Qt6::Network Qt6::WebSockets)
target_compile_definitions(bench_lab PRIVATE BATTERY_CLI="$<TARGET_FILE:battery-analyzer-cli>")
add_dependencies(bench_lab battery-analyzer-cli)
battery_warnings(bench_lab)
