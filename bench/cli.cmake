# The command-line tool: convert of a million lines against a plain streaming converter in C,
# matching 10000 cells against two baselines, and a download from the simulated analyzer at
# full speed.
enable_language(C)
add_executable(plain-convert plain_convert.c)
target_compile_options(plain-convert PRIVATE -Wall -Wextra)

# A plain Qt Core program that reads a file and writes it: a one-line convert's start-up
# against Qt's own.
add_executable(plain-qt-copy plain_qt_copy.cpp)
target_link_libraries(plain-qt-copy PRIVATE Qt6::Core)
battery_warnings(plain-qt-copy)

add_executable(bench_cli bench_cli.cpp)
target_link_libraries(bench_cli PRIVATE bench_harness analysis board link_protocol)
target_compile_definitions(bench_cli PRIVATE
  BATTERY_CLI="$<TARGET_FILE:battery-analyzer-cli>" ANALYZER_SIM="$<TARGET_FILE:analyzer-sim>"
  PLAIN_CONVERT="$<TARGET_FILE:plain-convert>" PLAIN_QT_COPY="$<TARGET_FILE:plain-qt-copy>")
add_dependencies(bench_cli battery-analyzer-cli analyzer-sim plain-convert plain-qt-copy)
battery_warnings(bench_cli)
