# Shared settings for every target of the project.

function(battery_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# battery_add_test(NAME name SOURCES files... LIBS libs...)
# Builds a Qt Test executable and registers it with ctest. Every test runs on the
# offscreen platform with its own home, config and runtime folders, so no test sees the
# user's settings or another test's files.
function(battery_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  battery_warnings(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(home "${CMAKE_BINARY_DIR}/test-home/${T_NAME}")
  file(MAKE_DIRECTORY "${home}/config" "${home}/runtime")
  file(CHMOD "${home}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home}/runtime;LC_ALL=C.UTF-8")
endfunction()
