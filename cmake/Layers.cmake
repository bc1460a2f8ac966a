# The program's layers, lowest first: base/, logging/ with install/, toast/, detection/, app/.
# Each layer is one static library that sees only its own headers and those of the
# layers below: its include root holds links to just those folders. An include that
# reaches up a layer therefore fails to build. Targets outside the layers (the log
# library, the setup actions, the smoke helper) get such a root too, with base/ only.
#
# vwn_layer(TARGET FOLDERS folder... [LINKS lib...] SOURCES file...)
function(vwn_layer target)
  cmake_parse_arguments(L "" "" "FOLDERS;LINKS;SOURCES" ${ARGN})
  add_library(${target} STATIC ${L_SOURCES})
  vwn_include_root(${target} PUBLIC ${L_FOLDERS})
  target_link_libraries(${target} PUBLIC vwn_warnings ${L_LINKS})
endfunction()

# vwn_include_root(TARGET SCOPE folder...): the target's include root holds links to
# just these source folders (nested ones keep their path), so it sees nothing else of the tree.
function(vwn_include_root target scope)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${ARGN})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
