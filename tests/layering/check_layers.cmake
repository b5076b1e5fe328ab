cmake_minimum_required(VERSION 3.25)
# Fails when a file includes a header of a higher layer.
#   cmake -DROOT=<source tree> -P check_layers.cmake
# Layers, bottom to top; a folder may include its own headers and those of
# the layers below it. velora-server sits on base, net and protocol.
set(layers base platform net protocol convert handles odbc odbc3)
set(server_may base net protocol server)
# Inside the server, the lower subfolders never include the upper ones: the
# storages and the value forms know nothing of sessions, the catalog
# queries or the administration, and the metrics read only the
# configuration.
set(server_subfolder_rules
    "storage:session metadata admin"
    "values:session metadata admin metrics"
    "metrics:session metadata storage values")

if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

set(violations "")
set(files_seen 0)
foreach(folder ${layers} server)
  list(FIND layers ${folder} rank)
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(source ${sources})
    math(EXPR files_seen "${files_seen} + 1")
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" target "${line}")
      if(folder STREQUAL "server")
        list(FIND server_may ${target} allowed)
        if(allowed LESS 0 AND target IN_LIST layers)
          list(APPEND violations "${source}: ${line}")
        endif()
        foreach(rule ${server_subfolder_rules})
          string(REGEX REPLACE ":.*$" "" lower "${rule}")
          string(REGEX REPLACE "^[^:]*:" "" uppers "${rule}")
          string(REPLACE " " ";" uppers "${uppers}")
          if(source MATCHES "/server/${lower}/")
            foreach(upper ${uppers})
              if(line MATCHES "\"server/${upper}/")
                list(APPEND violations "${source}: ${line}")
              endif()
            endforeach()
          endif()
        endforeach()
      else()
        list(FIND layers ${target} target_rank)
        if(target_rank GREATER rank)
          list(APPEND violations "${source}: ${line}")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(files_seen EQUAL 0)
  message(FATAL_ERROR "no sources under ${ROOT}")
endif()
if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes of a higher layer:\n  ${text}")
endif()
message(STATUS "${files_seen} files include only their own layer and the layers below")
