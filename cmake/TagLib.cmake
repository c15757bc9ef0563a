# TagLib, as the target Pellorin::TagLib. On Linux Debian's libtag1-dev. For Windows the same
# TagLib, built with MinGW-w64 from Debian's source package into the build tree, once for each
# fresh build folder, and linked statically (TAGLIB_STATIC) so that pellorin-move.exe needs no DLL.
# PELLORIN_TAGLIB_SOURCE may name an unpacked source instead of one fetched with apt-get source.
# Debian's patches make TagLib use Debian's utf8-cpp (libutfcpp-dev, headers only) rather than the
# copy it bundles.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(PELLORIN_TAGLIB_SOURCE "" CACHE PATH "Unpacked TagLib source for the Windows build")
  set(taglib_prefix ${CMAKE_BINARY_DIR}/taglib)
  set(taglib_library ${taglib_prefix}/lib/libtag.a)
  if(PELLORIN_TAGLIB_SOURCE)
    set(taglib_fetch SOURCE_DIR ${PELLORIN_TAGLIB_SOURCE} DOWNLOAD_COMMAND "")
  else()
    set(taglib_fetch DOWNLOAD_COMMAND ${CMAKE_CURRENT_LIST_DIR}/taglib-source.sh <SOURCE_DIR>)
  endif()
  ExternalProject_Add(taglib_mingw
    PREFIX ${taglib_prefix}
    INSTALL_DIR ${taglib_prefix}
    ${taglib_fetch}
    UPDATE_COMMAND ""
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
               "-DCMAKE_CXX_FLAGS=-isystem /usr/include/utf8cpp"
               -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DBUILD_SHARED_LIBS=OFF -DWITH_ZLIB=OFF
               -DBUILD_TESTING=OFF -DBUILD_EXAMPLES=OFF -DBUILD_BINDINGS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
    BUILD_BYPRODUCTS ${taglib_library})
  file(MAKE_DIRECTORY ${taglib_prefix}/include)
  add_library(pellorin_taglib STATIC IMPORTED GLOBAL)
  set_target_properties(pellorin_taglib PROPERTIES
    IMPORTED_LOCATION ${taglib_library}
    INTERFACE_INCLUDE_DIRECTORIES ${taglib_prefix}/include
    INTERFACE_COMPILE_DEFINITIONS TAGLIB_STATIC)
  add_dependencies(pellorin_taglib taglib_mingw)
  add_library(Pellorin::TagLib ALIAS pellorin_taglib)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET GLOBAL taglib)
  add_library(Pellorin::TagLib ALIAS PkgConfig::TAGLIB)
endif()
