# The plug-in's export list lives once, in src/plugin/avfile.map (the linker's
# version script on Linux). corvane_avfile_def(MAP API OUT) checks at configure
# time that it names exactly the exports the host resolves (the X-macro list
# in API), and writes OUT, the module-definition file of the Windows DLL, from
# it: the two lists cannot drift apart.
function(corvane_avfile_def map api out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${map} ${api})
  file(READ ${map} map_text)
  string(REGEX MATCHALL "AVFILE_[A-Za-z0-9_]+" map_names "${map_text}")
  file(READ ${api} api_text)
  string(REGEX MATCHALL "X\\(AVFILE_[A-Za-z0-9_]+," api_names "${api_text}")
  list(TRANSFORM api_names REPLACE "^X\\((.*),$" "\\1")

  list(LENGTH map_names count)
  set(map_sorted ${map_names})
  set(api_sorted ${api_names})
  list(SORT map_sorted)
  list(SORT api_sorted)
  set(unique ${map_sorted})
  list(REMOVE_DUPLICATES unique)
  if(NOT count EQUAL 53 OR NOT unique STREQUAL map_sorted)
    message(FATAL_ERROR "${map} must name 53 distinct AVFILE_ exports, it names ${count}")
  endif()
  if(NOT map_sorted STREQUAL api_sorted)
    set(missing ${api_sorted})
    list(REMOVE_ITEM missing ${map_sorted})
    set(extra ${map_sorted})
    list(REMOVE_ITEM extra ${api_sorted})
    message(FATAL_ERROR "${map} and ${api} disagree: only in the host's list: ${missing}; only in the map: ${extra}")
  endif()

  set(def "; Made from src/plugin/avfile.map at configure time: edit that file.\nLIBRARY avfile.dll\nEXPORTS\n")
  foreach(name ${map_names})
    string(APPEND def "  ${name}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${out} CONTENT "${def}" @ONLY)
endfunction()
