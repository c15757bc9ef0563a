# What a Debian system keeps beside the programs: the copyright file in Debian's machine-readable
# format, the changelog and the manual pages, compressed as Debian wants them (gzip -9n, so that
# the same sources always give the same bytes). Included by Packaging.cmake on Linux.

include(GNUInstallDirs)
set(doc_build_dir ${PROJECT_BINARY_DIR}/doc)
set(doc_install_dir ${CMAKE_INSTALL_DATADIR}/doc/pellorin)

# The copyright file wraps the license's own words: its copyright line, and its text indented as
# the format asks, an empty line written as " .".
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyright_line "${license}")
set(PELLORIN_COPYRIGHT ${CMAKE_MATCH_1})
string(FIND "${license}" "Permission is hereby granted" text_start)
if(NOT copyright_line OR text_start LESS 0)
  message(FATAL_ERROR "LICENSE: no copyright line or no license text where expected")
endif()
string(SUBSTRING "${license}" ${text_start} -1 license_text)
string(STRIP "${license_text}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text " ${license_text}")
set(PELLORIN_LICENSE_TEXT "${license_text}")
configure_file(${PELLORIN_PACKAGING_DIR}/copyright.in ${doc_build_dir}/copyright @ONLY)
install(FILES ${doc_build_dir}/copyright DESTINATION ${doc_install_dir})

# pellorin_compressed_document(SOURCE NAME DESTINATION)
# Installs SOURCE as NAME.gz into DESTINATION; a SOURCE ending in .in gets the version filled in.
set(compressed_documents "")
function(pellorin_compressed_document source name destination)
  if(source MATCHES "\\.in$")
    configure_file(${source} ${doc_build_dir}/${name} @ONLY)
  else()
    configure_file(${source} ${doc_build_dir}/${name} COPYONLY)
  endif()
  add_custom_command(OUTPUT ${doc_build_dir}/${name}.gz
                     COMMAND gzip -9nkf ${doc_build_dir}/${name}
                     DEPENDS ${doc_build_dir}/${name}
                     VERBATIM)
  install(FILES ${doc_build_dir}/${name}.gz DESTINATION ${destination})
  set(compressed_documents ${compressed_documents} ${doc_build_dir}/${name}.gz PARENT_SCOPE)
endfunction()

pellorin_compressed_document(${PELLORIN_PACKAGING_DIR}/changelog changelog ${doc_install_dir})
foreach(program IN ITEMS pellorin pellorin-move)
  if(TARGET ${program})
    pellorin_compressed_document(${PELLORIN_PACKAGING_DIR}/man/${program}.1.in ${program}.1
                                 ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(pellorin_documents ALL DEPENDS ${compressed_documents})
