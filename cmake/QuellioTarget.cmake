# Warnings every target of ours builds with. CI and scripts/test make them
# errors; a user's build does not, so a newer compiler's new warnings never
# stop it.
option(QUELLIO_WERROR "Treat compiler warnings as errors" OFF)

function(quellio_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(QUELLIO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
