# The program's layers, lowest first: logging/ with install/, toast/, detection/, app/.
# Each layer is one static library that sees only its own headers and those of the
# layers below: its include root holds links to just those folders. An include that
# reaches up a layer therefore fails to build.
#
# vwn_layer(TARGET FOLDERS folder... [LINKS lib...] SOURCES file...)
function(vwn_layer target)
  cmake_parse_arguments(L "" "" "FOLDERS;LINKS;SOURCES" ${ARGN})
  add_library(${target} STATIC ${L_SOURCES})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${L_FOLDERS})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC vwn_warnings ${L_LINKS})
endfunction()
