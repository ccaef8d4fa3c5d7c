# Warnings for the project's own targets: saverkit_warnings(<target>).
function(saverkit_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(SAVERKIT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
