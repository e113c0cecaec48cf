# cmake --install: the two shared libraries with their SONAME links, their
# headers, the tool, a package config for find_package(rasterkit) with the
# targets rasterkit::rasterkit and rasterkit::rasterkit_convert, and
# rasterkit.pc and rasterkit_convert.pc.
include(CMakePackageConfigHelpers)

install(TARGETS rasterkit rasterkit_convert EXPORT rasterkitTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(RASTERKIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/rasterkit)
install(EXPORT rasterkitTargets NAMESPACE rasterkit:: DESTINATION ${RASTERKIT_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/rasterkitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/rasterkitConfig.cmake INSTALL_DESTINATION ${RASTERKIT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/rasterkitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/rasterkitConfig.cmake ${PROJECT_BINARY_DIR}/rasterkitConfigVersion.cmake
  DESTINATION ${RASTERKIT_CMAKE_DIR})

# The .pc file finds its prefix from its own place, so the tree can move.
file(RELATIVE_PATH RASTERKIT_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" RASTERKIT_PC_TO_PREFIX "${RASTERKIT_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/rasterkit.pc.in ${PROJECT_BINARY_DIR}/rasterkit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/rasterkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
configure_file(${PROJECT_SOURCE_DIR}/cmake/rasterkit_convert.pc.in ${PROJECT_BINARY_DIR}/rasterkit_convert.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/rasterkit_convert.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
