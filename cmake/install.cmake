# Installation: the header, the shared library, the tool, a CMake package
# (find_package(qrimage) gives qrimage::qrimage) and a pkg-config file.
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
endif()

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
