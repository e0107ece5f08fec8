# One INTERFACE target carries the project's warning flags; every target links it.
add_library(verbalon_warnings INTERFACE)
target_compile_options(verbalon_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
  -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(VERBALON_WERROR)
  target_compile_options(verbalon_warnings INTERFACE -Werror)
endif()

# Sanitizers apply to the whole build, so they are set globally rather than per target.
if(VERBALON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
