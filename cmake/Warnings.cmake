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

# UI targets: Windows-1251 bytes must never be decoded as UTF-8 by accident, so every
# conversion between char data and QString is spelled out.
add_library(verbalon_qt_strict INTERFACE)
target_compile_definitions(verbalon_qt_strict INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_KEYWORDS)
target_link_libraries(verbalon_qt_strict INTERFACE verbalon_warnings)
