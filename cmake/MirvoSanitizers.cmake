# Instrumented builds, each in a build tree of its own (scripts/sanitize makes them):
#   -DMIRVO_SANITIZE=address,undefined   or   -DMIRVO_SANITIZE=thread
#       instruments every target of the tree; the first finding aborts the process.
#   -DMIRVO_RTSAN=ON   (clang 19 or newer)
#       compiles the audio engine with MIRVO_RTSAN defined, so its real-time scopes call into
#       the real-time sanitizer, and lets tests link that runtime with mirvo_link_rtsan.
set(MIRVO_SANITIZE "" CACHE STRING "Sanitizers for -fsanitize= (e.g. address,undefined or thread)")
option(MIRVO_RTSAN "Bracket the audio thread's work for the real-time sanitizer (clang 19+)" OFF)

if(MIRVO_SANITIZE)
  add_compile_options(-fsanitize=${MIRVO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${MIRVO_SANITIZE})
endif()

if(MIRVO_FUZZ)
  # Coverage for libFuzzer in every library the fuzz targets reach.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(MIRVO_RTSAN)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR CMAKE_CXX_COMPILER_VERSION VERSION_LESS 19)
    message(FATAL_ERROR "MIRVO_RTSAN needs clang 19 or newer (configure with CMAKE_CXX_COMPILER=clang++-19)")
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-resource-dir
                  OUTPUT_VARIABLE clang_resource_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_file(MIRVO_RTSAN_RUNTIME libclang_rt.rtsan-x86_64.a
            PATHS ${clang_resource_dir}/lib/linux ${clang_resource_dir}/lib/x86_64-unknown-linux-gnu
            NO_DEFAULT_PATH)
  if(NOT MIRVO_RTSAN_RUNTIME)
    message(FATAL_ERROR "libclang_rt.rtsan-x86_64.a not found under ${clang_resource_dir}")
  endif()
  add_compile_definitions(MIRVO_RTSAN=1)
  add_compile_options(-fno-omit-frame-pointer)
endif()

# mirvo_link_rtsan(<target>): links the real-time sanitizer's runtime into an executable. The
# whole archive goes in, and the executable exports its symbols, so that allocations and locks
# made inside shared libraries (libstdc++'s operator new, FFmpeg) reach the interceptors too.
function(mirvo_link_rtsan target)
  target_link_libraries(${target} PRIVATE
    -Wl,--whole-archive ${MIRVO_RTSAN_RUNTIME} -Wl,--no-whole-archive
    -rdynamic ${CMAKE_DL_LIBS} Threads::Threads rt)
endfunction()

# mirvo_add_fuzzer(<name> SOURCES ... LIBS ...): a libFuzzer target over LLVMFuzzerTestOneInput.
# Its seeds and the inputs that once found a fault live in fuzz/corpus/<name>/ beside the
# calling folder's CMakeLists.txt. With MIRVO_FUZZ the target is the fuzzer mirvo_fuzz_<name>
# (scripts/sanitize --fuzz runs it); otherwise a unit test replays every stored input.
function(mirvo_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
  if(MIRVO_FUZZ)
    add_executable(mirvo_fuzz_${name} ${ARG_SOURCES})
    target_link_libraries(mirvo_fuzz_${name} PRIVATE ${ARG_LIBS})
    target_include_directories(mirvo_fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_options(mirvo_fuzz_${name} PRIVATE -fsanitize=fuzzer)
    mirvo_set_warnings(mirvo_fuzz_${name})
    set_property(GLOBAL APPEND PROPERTY MIRVO_TEST_TARGETS_fuzz mirvo_fuzz_${name})
  else()
    mirvo_add_test(mirvo_fuzz_${name}_replay LABEL unit
      SOURCES ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/quality/fuzz/FuzzReplayTest.cpp LIBS ${ARG_LIBS})
    target_compile_definitions(mirvo_fuzz_${name}_replay PRIVATE MIRVO_FUZZ_CORPUS_DIR="${corpus}")
  endif()
endfunction()

# Once every folder is read, one target per test label builds that label's executables, so an
# instrumented tree builds only the tests it runs: cmake --build <dir> --target mirvo_label_unit
# (mirvo_add_test records each executable's label for this).
function(mirvo_add_label_targets)
  foreach(label unit gl device stress e2e soak rtsan fuzz)
    get_property(targets GLOBAL PROPERTY MIRVO_TEST_TARGETS_${label})
    if(NOT TARGET mirvo_label_${label})
      add_custom_target(mirvo_label_${label})
    endif()
    if(targets)
      add_dependencies(mirvo_label_${label} ${targets})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL mirvo_add_label_targets)
