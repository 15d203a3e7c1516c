# Project-wide compiler flags: warnings for our own targets, sanitizers for all.
function(zx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ZX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(ZX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
