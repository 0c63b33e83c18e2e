# Every target of ours calls mirvo_set_warnings; third-party headers come in as SYSTEM.
function(mirvo_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wno-unused-parameter)
  if(MIRVO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
