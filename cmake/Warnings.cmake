# Project-wide compiler flags: warnings for our own targets, sanitizers for all.

# The warning set of one target.
function(zx_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra
    -Wshadow                # a local hiding a member or an outer name
    -Wnon-virtual-dtor      # a class with virtual functions deleted through its base
    -Woverloaded-virtual    # an overload hiding a base's virtual function
    -Wsuggest-override      # an overriding function not marked override
    -Wformat=2              # printf-style formats that are not literals
    -Wcast-qual             # a cast dropping const or volatile
    -Wimplicit-fallthrough) # a switch case running into the next unmarked
  if(ZX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Gives every target that compiles code, in dir and the folders below it, the
# warning set. The top-level CMakeLists.txt calls it once, after every folder
# is added, so that a new target gets the warnings without asking for them.
function(zx_warnings_everywhere dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      zx_warnings(${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    zx_warnings_everywhere(${subdir})
  endforeach()
endfunction()

if(ZX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
