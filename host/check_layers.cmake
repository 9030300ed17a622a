# Checks that every host area includes only its own headers and those of the
# areas it declares (corvane_host_area's DEPENDS), and that the interface
# headers' tables of where their calls are implemented name files that
# exist. Run at configure time from host/CMakeLists.txt, and by the test
# HostLayout.DeclaredAreasAndInterfaceTablesHold (cmake -DHOST_DIR=...
# -DLAYERS_FILE=... -P check_layers.cmake) so that a change after
# configuring is caught too.
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

# Checks that the files named by the tables at the top of the interface
# headers (host/include: "where the calls are implemented") exist.
function(corvane_check_interface_tables host_dir)
  file(GLOB headers ${host_dir}/include/*.h)
  set(problems "")
  foreach(header IN LISTS headers)
    file(STRINGS ${header} lines REGEX "^// ")
    foreach(line IN LISTS lines)
      string(REGEX MATCHALL "[a-z_]+/[a-z_]+\\.(cpp|h)" named "${line}")
      foreach(path IN LISTS named)
        if(NOT EXISTS ${host_dir}/${path})
          get_filename_component(shown ${header} NAME)
          string(APPEND problems "  host/include/${shown} names host/${path}, which does not exist\n")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(problems)
    message(FATAL_ERROR "Interface headers name files that are gone:\n${problems}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  corvane_check_layers(${HOST_DIR} ${LAYERS_FILE})
  corvane_check_interface_tables(${HOST_DIR})
endif()
