# mirvo_add_layer(<target> LIBS ...): one static library from every .cpp under the calling
# folder (sub-folders such as glfw/ or rtaudio/ included). Several people add files to a
# layer at once, so the folder itself is the list of sources.
function(mirvo_add_layer target)
  cmake_parse_arguments(ARG "" "" "LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${target} STATIC ${sources} ${headers})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  mirvo_set_warnings(${target})
endfunction()
