# Kiln as an installed tool and as a Debian package. The install tree is
# relocatable: kiln finds the Windows programs it puts into setup files in
# ../share/kiln/win32 and ../share/kiln/win64 from its own folder
# (ProgramPlaces, builder/commands/build_command.cpp), wherever the tree is
# copied to.
#   cmake --install build/host --prefix P
#   cpack --config build/host/CPackConfig.cmake -B OUT    (OUT/kiln_VERSION_amd64.deb)

set(KILN_WIN32_PROGRAMS ${CMAKE_SOURCE_DIR}/build/win32 CACHE PATH
  "Folder of the 32-bit setup programs and uninstaller to install (the i686 mingw tree)")
set(KILN_WIN64_PROGRAMS ${CMAKE_SOURCE_DIR}/build/win64 CACHE PATH
  "Folder of the 64-bit setup program and uninstaller to install (the x86-64 mingw tree)")

install(TARGETS kiln RUNTIME DESTINATION bin)
# Only the 32-bit setup program is ever packed, so only win32 has the packable one.
install(FILES ${KILN_WIN32_PROGRAMS}/kiln-stub.exe ${KILN_WIN32_PROGRAMS}/kiln-stub-packable.exe
  ${KILN_WIN32_PROGRAMS}/kiln-uninstall.exe DESTINATION share/kiln/win32)
install(FILES ${KILN_WIN64_PROGRAMS}/kiln-stub.exe ${KILN_WIN64_PROGRAMS}/kiln-uninstall.exe
  DESTINATION share/kiln/win64)

install(FILES README.md DESTINATION share/doc/kiln)
install(DIRECTORY examples/sample DESTINATION share/doc/kiln/examples)

# The licences of what kiln and the Windows programs are made of: the
# libraries linked into kiln, and the mingw-w64 and GCC runtimes linked into
# the Windows programs. Debian keeps each one's terms in its package's
# copyright file; they are installed under the library's own name.
set(KILN_LICENSES
  libdeflate=libdeflate-dev zopfli=libzopfli-dev libdivsufsort=libdivsufsort-dev xz-utils=liblzma-dev
  tomlplusplus=libtomlplusplus-dev CLI11=libcli11-dev mingw-w64=mingw-w64-common gcc=gcc-mingw-w64-base)
foreach(entry ${KILN_LICENSES})
  string(REPLACE "=" ";" pair ${entry})
  list(GET pair 0 library)
  list(GET pair 1 package)
  install(FILES /usr/share/doc/${package}/copyright DESTINATION share/doc/kiln/licenses RENAME ${library})
endforeach()

# The man page, made from kiln's own help texts so that it cannot drift from them.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kiln.1
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/man-page $<TARGET_FILE:kiln> ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/kiln.1
  DEPENDS kiln ${CMAKE_SOURCE_DIR}/scripts/man-page
  VERBATIM)
add_custom_target(kiln_man_page ALL DEPENDS ${CMAKE_BINARY_DIR}/kiln.1)
install(FILES ${CMAKE_BINARY_DIR}/kiln.1 DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kiln)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kiln maintainers <maintainers@users.noreply.c-seed-19c6d7f5.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries kiln is linked with (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds self-extracting setup programs for Windows")
set(CPACK_PACKAGE_DESCRIPTION "kiln turns a product manifest (files, texts, setup types, registry and \
INI entries, shortcuts) into one setup.exe for 32-bit or 64-bit Windows: a small Win32 setup program followed \
by the compressed package. It also reads setup files back: inspect, verify, extract and sign.")
include(CPack)

# The package as a user gets it: built, unpacked, moved elsewhere, and used.
add_test(NAME package_install
  COMMAND ${CMAKE_SOURCE_DIR}/tests/package_install.sh ${CMAKE_BINARY_DIR} ${KILN_WIN32_PROGRAMS} ${KILN_WIN64_PROGRAMS})
set_tests_properties(package_install PROPERTIES TIMEOUT 600)
