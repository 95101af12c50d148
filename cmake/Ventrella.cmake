# Build helpers shared by every module.

# Adds each direct subfolder of `parent` that holds a CMakeLists.txt (Tests/Support excepted).
function(ventrella_add_module_folders parent)
  file(GLOB children LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/${parent}/*)
  list(SORT children)
  foreach(child ${children})
    get_filename_component(leaf ${child} NAME)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt AND NOT leaf STREQUAL "Support")
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# ventrella_module(<name> [INCLUDE_ROOT <dir>] [DEPS <targets>...] [PRIVATE_DEPS <targets>...])
# One static library per folder, from every .cpp in it. Headers are included as
# "<Folder>/<Header>.h" relative to INCLUDE_ROOT (default: the parent folder).
function(ventrella_module name)
  cmake_parse_arguments(ARG "" "INCLUDE_ROOT" "DEPS;PRIVATE_DEPS" ${ARGN})
  if(NOT ARG_INCLUDE_ROOT)
    get_filename_component(ARG_INCLUDE_ROOT ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${ARG_INCLUDE_ROOT})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${ARG_INCLUDE_ROOT})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# ventrella_test(<name> LABELS <label>... DEPS <targets>... [TIMEOUT <seconds>])
# A GoogleTest program from every .cpp in the folder, registered with ctest per test case.
function(ventrella_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS;DEPS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/Tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
    DISCOVERY_TIMEOUT 120)
endfunction()
