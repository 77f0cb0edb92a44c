# The cell register: the capacity-first match of 10000 cells, record of 100000 readings
# into SQLite against convert, record's memory at 100000 and 1000000 readings and its
# instructions against a plain C writer, and cells over 100000 cells.
# record's baseline: the same rows written by a plain C program through SQLite.
enable_language(C)
find_package(SQLite3 REQUIRED)
add_executable(plain-sqlite-writer plain_sqlite_writer.c)
target_link_libraries(plain-sqlite-writer PRIVATE SQLite::SQLite3)
target_compile_options(plain-sqlite-writer PRIVATE -Wall -Wextra)

add_executable(bench_register bench_register.cpp)
target_link_libraries(bench_register PRIVATE bench_harness analysis link_protocol)
target_compile_definitions(bench_register PRIVATE BATTERY_CLI="$<TARGET_FILE:battery-analyzer-cli>"
  PLAIN_SQLITE_WRITER="$<TARGET_FILE:plain-sqlite-writer>")
add_dependencies(bench_register battery-analyzer-cli plain-sqlite-writer)
battery_warnings(bench_register)
