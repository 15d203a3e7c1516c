# Project-wide compiler flags: warnings for our own targets, sanitizers for all.
function(zx_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra
    -Wshadow                # a local hiding a member or an outer name
    -Wnon-virtual-dtor      # a class with virtual functions deleted through its base
    -Woverloaded-virtual    # an overload hiding a base's virtual function
    -Wformat=2              # printf-style formats that are not literals
    -Wcast-qual             # a cast dropping const or volatile
    -Wimplicit-fallthrough) # a switch case running into the next unmarked
  if(ZX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(ZX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
