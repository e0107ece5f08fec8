# cmake -DSOURCE=... -DDEST=... -P CopyIfAbsent.cmake
if(NOT EXISTS "${DEST}")
  file(COPY_FILE "${SOURCE}" "${DEST}")
endif()
