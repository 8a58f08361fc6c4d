# Compiler settings shared by every target of the project.

if(TUNECAP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for the project's own targets: call on each of them.
function(tunecap_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
  if(TUNECAP_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Shared libraries with a C interface: hidden symbols, one export macro.
function(tunecap_c_library target)
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  tunecap_warnings(${target})
endfunction()
