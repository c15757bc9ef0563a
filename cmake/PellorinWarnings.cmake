# Warnings stay private to each target so that nothing leaks into consumers.
function(pellorin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wshadow)
  if(PELLORIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
