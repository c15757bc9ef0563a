# Read by CPack for each generator: the installer says what it is in its name.
if(CPACK_GENERATOR MATCHES "^NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
