# Checks that every host area includes only its own headers and those of the
# areas it declares (corvane_host_area's DEPENDS). Run at configure time from
# host/CMakeLists.txt, and by the test HostLayers.IncludesFollowTheDeclaredAreas
# (cmake -DHOST_DIR=... -DLAYERS_FILE=... -P check_layers.cmake) so that an
# include added after configuring is caught too.
#
# LAYERS_FILE holds one line per area, ground floor first: "NAME DEP DEP ...".
# Fails with one line per include that no declaration allows.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

function(corvane_check_layers host_dir layers_file)
  file(STRINGS ${layers_file} layers)
  set(problems "")
  foreach(layer IN LISTS layers)
    string(REPLACE " " ";" words "${layer}")
    list(POP_FRONT words area)
    file(GLOB files ${host_dir}/${area}/*.h ${host_dir}/${area}/*.cpp)
    foreach(file IN LISTS files)
      file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
      foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z_]+)/.*" "\\1" used "${line}")
        if(NOT used STREQUAL area AND NOT used IN_LIST words)
          file(RELATIVE_PATH shown ${host_dir} ${file})
          string(APPEND problems "  host/${shown} includes ${used}/, which host/${area} does not declare\n")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(problems)
    message(FATAL_ERROR "Host areas include what they do not declare (host/CMakeLists.txt):\n${problems}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  corvane_check_layers(${HOST_DIR} ${LAYERS_FILE})
endif()
