# Installation: the header, the shared library, the tool and its manual
# page, a CMake package (find_package(qrimage) gives qrimage::qrimage), a
# pkg-config file and the license; and the Debian package made of them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QRIMAGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qrimage)

install(TARGETS qrimage EXPORT qrimageTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/qrimage.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET qrimage_tool)
  install(TARGETS qrimage_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES tool/qrimage.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT qrimageTargets NAMESPACE qrimage:: DESTINATION ${QRIMAGE_CMAKE_DIR})
configure_package_config_file(cmake/qrimageConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfig.cmake
  INSTALL_DESTINATION ${QRIMAGE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qrimageConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfigVersion.cmake
  DESTINATION ${QRIMAGE_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so the tree
# still works when `cmake --install --prefix` puts it somewhere else.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QRIMAGE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QRIMAGE_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH QRIMAGE_PC_UP "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" QRIMAGE_PC_UP "${QRIMAGE_PC_UP}")
  set(QRIMAGE_PC_PREFIX "\${pcfiledir}/${QRIMAGE_PC_UP}")
  set(QRIMAGE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QRIMAGE_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(QRIMAGE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(cmake/qrimage.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qrimage.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qrimage.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# `cpack -G DEB` packs the installed tree under /usr. dpkg-shlibdeps finds
# the packages the library and the tool link against, and the shlibs file
# lets other packages depend on this one through the library's soname.
set(CPACK_PACKAGE_NAME qrimage)
set(CPACK_PACKAGE_VENDOR "the qrimage authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "QR Code symbols as 1-bit BMP files: library and tool")
set(CPACK_PACKAGE_DESCRIPTION "\
qrimage encodes a text (byte mode, versions 1 to 40, levels L, M, Q, H) as a
QR Code symbol and writes it as a 1-bit-per-pixel BMP file through one C
function, QRImage(text, level, path). This package holds the shared library,
its header, CMake package and pkg-config file, and the qrimage command-line
tool.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "the qrimage authors <qrimage@localhost>" CACHE STRING
  "Maintainer written into the Debian package")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_GENERATOR DEB)
