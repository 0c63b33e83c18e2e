# mirvo_add_layer(<target> LIBS ... [EXCLUDE regex...]): one static library from every .cpp
# under the calling folder (sub-folders such as glfw/ or rtaudio/ included), less the files whose
# path from that folder matches an EXCLUDE expression (a platform the build leaves out). Several
# people add files to a layer at once, so the folder itself is the list of sources.
function(mirvo_add_layer target)
  cmake_parse_arguments(ARG "" "" "LIBS;PRIVATE_LIBS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(pattern ${ARG_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "${pattern}")
    list(FILTER headers EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(${target} STATIC ${sources} ${headers})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  mirvo_set_warnings(${target})
endfunction()
