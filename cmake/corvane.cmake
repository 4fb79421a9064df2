# corvane_module(NAME DIR DEPS...): one static library per source folder.
# Files ending in _exports.cpp touch host records and are built only into the
# 32-bit plug-in, never into the module library; so is the library entry.
function(corvane_module name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "(_exports|library_entry)\\.cpp$")
  if(NOT srcs)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# corvane_exports(OUT DIRS...): the export shims of the given folders.
function(corvane_exports out)
  set(all)
  foreach(dir ${ARGN})
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*_exports.cpp)
    list(APPEND all ${srcs})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# corvane_test(NAME DIR DEPS...): one GoogleTest binary per test folder.
# In the Windows build, the files of CORVANE_POSIX_ONLY_TESTS (paths relative
# to the current source dir) are left out, and the cases CORVANE_POSIX_ONLY_CASES
# names (a GoogleTest filter) are not run: their subject is POSIX behaviour.
function(corvane_test name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(CORVANE_WIN32)
    foreach(posix_only ${CORVANE_POSIX_ONLY_TESTS})
      list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${posix_only})
    endforeach()
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE ${CORVANE_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} corvane_test_support GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  # A fault that shows as a hang must fail the run, not stall it.
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "CORVANE_REALTIME=0" TIMEOUT 600)
  if(CORVANE_WIN32)
    # Under Wine, after the prefix and its one server are up (tests/CMakeLists.txt),
    # without the cases of CORVANE_POSIX_ONLY_CASES, and with no message box
    # waiting for a click that never comes.
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/win32/quiet_faults.cpp)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix
                         ENVIRONMENT "CORVANE_REALTIME=0;CORVANE_DIALOGS=none;GTEST_FILTER=-${CORVANE_POSIX_ONLY_CASES}")
  endif()
endfunction()
