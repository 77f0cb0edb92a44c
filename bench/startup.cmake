# Start-up time and idle memory of the program against a bare Qt window (needs an X server;
# bench/run starts Xvfb).
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB_DAMAGE REQUIRED IMPORTED_TARGET xcb xcb-damage)

qt_add_executable(bare-window bare_window.cpp)
target_link_libraries(bare-window PRIVATE Qt6::Widgets)
battery_warnings(bare-window)
qt_add_executable(bare-window-with-text bare_window.cpp)
target_compile_definitions(bare-window-with-text PRIVATE BARE_WINDOW_WITH_TEXT)
target_link_libraries(bare-window-with-text PRIVATE Qt6::Widgets)
battery_warnings(bare-window-with-text)

add_executable(bench_startup bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE bench_harness PkgConfig::XCB_DAMAGE)
battery_warnings(bench_startup)
