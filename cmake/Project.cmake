# Shared settings for every target of the project.

# battery_layer(target folder)
# Makes the headers of `folder` includable as "folder/name.h" by the target and by whatever
# links it, and by nothing else. Each layer's include root holds that one folder, so a file
# that includes a header of a layer its target does not link fails to compile: the build
# keeps the layers apart. A layer in a subfolder (cli/tables) gets a root of its own, so that
# it sees none of the folder it sits in.
function(battery_layer target folder)
  string(REPLACE "/" "_" name "${folder}")
  set(root "${CMAKE_BINARY_DIR}/include/${name}")
  if(NOT EXISTS "${root}/${folder}")
    get_filename_component(parent "${root}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()

# battery_quick_build(targets...)
# Builds each target as one translation unit, so that Qt's headers are read once per library
# rather than once per file: a fresh clone shows its window in half the time. Sanitizer and
# fuzz builds keep one unit per file, where reports and coverage name the file.
function(battery_quick_build)
  if(BATTERY_FUZZ OR CMAKE_CXX_FLAGS MATCHES "sanitize")
    return()
  endif()
  set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
endfunction()

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
