# Start-up time and idle memory of the program against a bare Qt window (needs an X server;
# bench/run starts Xvfb).
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB_DAMAGE REQUIRED IMPORTED_TARGET xcb xcb-damage)

qt_add_executable(bare-window bare_window.cpp)
target_link_libraries(bare-window PRIVATE Qt6::Widgets)
battery_warnings(bare-window)

add_executable(bench_startup bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE bench_harness PkgConfig::XCB_DAMAGE)
battery_warnings(bench_startup)
# The window's controls in plain Qt; the captions come from the program's own table, compiled
# in alone so that nothing else of the program is linked or loaded.
qt_add_executable(plain-window plain_window.cpp ${PROJECT_SOURCE_DIR}/app/languages.cpp)
target_include_directories(plain-window PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(plain-window PRIVATE Qt6::Widgets)
battery_warnings(plain-window)
