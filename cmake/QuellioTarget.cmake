# Warnings every target of ours builds with.
function(quellio_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
