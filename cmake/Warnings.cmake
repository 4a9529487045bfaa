# Warnings for the project's own targets. Call gridmint_warnings(target).
function(gridmint_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wimplicit-fallthrough)
  if(GRIDMINT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
