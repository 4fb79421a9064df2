# The dialogs as Windows resources, generated at build time from the control
# tables the toolkit's other front ends draw, so there is one source of truth
# and no hand-kept .rc. The generator is built for the build machine with its
# native compiler (this build is a cross build) and run by the build.
#
# corvane_dialog_resources(TARGET) adds the compiled dialogs to TARGET.
include_guard(GLOBAL)
include(ExternalProject)
enable_language(RC)
# The source tree this file belongs to, whoever includes it.
get_filename_component(corvane_dialog_rc_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

function(corvane_dialog_resources target)
  set(gen_dir ${PROJECT_BINARY_DIR}/dialog_rc)
  set(generator ${gen_dir}/build/generate_dialogs_rc)
  if(NOT TARGET corvane_dialog_rc_generator)
    set(native_args -DCORVANE_SOURCE_DIR=${corvane_dialog_rc_root} -DCMAKE_BUILD_TYPE=Release)
    if(CMAKE_CXX_COMPILER_LAUNCHER)
      list(APPEND native_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
    # No toolchain file and the build machine's own compiler (CORVANE_NATIVE_CXX,
    # else c++ on PATH): the outer build's cross settings must not leak in.
    set(native_cxx c++)
    if(CORVANE_NATIVE_CXX)
      set(native_cxx ${CORVANE_NATIVE_CXX})
    endif()
    ExternalProject_Add(corvane_dialog_rc_generator
      SOURCE_DIR ${corvane_dialog_rc_root}/tools/dialog_rc
      BINARY_DIR ${gen_dir}/build
      PREFIX ${gen_dir}
      CMAKE_ARGS ${native_args} -DCMAKE_CXX_COMPILER=${native_cxx}
      # The tables live outside the sub-project: let its own build decide
      # what is out of date on every run.
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      BUILD_BYPRODUCTS ${generator})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_dialogs.rc)
  add_custom_command(OUTPUT ${rc}
    COMMAND ${generator} ${rc}
    DEPENDS corvane_dialog_rc_generator ${generator}
    COMMENT "Generating the dialog resources of ${target}")
  target_sources(${target} PRIVATE ${rc})
endfunction()
