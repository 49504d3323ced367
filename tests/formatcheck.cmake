# Runs clang-format over every C++ source of the tree (build trees and
# downloaded packages aside) and fails, naming the places, where the layout
# differs from .clang-format. Run as: cmake -DROOT=... -DCLANG_FORMAT=... -P
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
set(sources)
foreach(entry ${entries})
  if(IS_DIRECTORY ${ROOT}/${entry} AND NOT entry MATCHES "^\\." AND NOT EXISTS ${ROOT}/${entry}/CMakeCache.txt)
    file(GLOB_RECURSE found ${ROOT}/${entry}/*.cpp ${ROOT}/${entry}/*.h)
    list(FILTER found EXCLUDE REGEX "/node_modules/")
    list(APPEND sources ${found})
  endif()
endforeach()
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found below ${ROOT}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run -Werror ${sources}
                WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang-format would change the files named above (clang-format -i FILE lays them out)")
endif()
message(STATUS "${count} sources laid out as .clang-format says")
