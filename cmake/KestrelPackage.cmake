# The installable CMake package: find_package(kestrel) gives kestrel::kestrel_host, kestrel::kestrel ...
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestrel
        FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/generated/kestrel_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestrel)
install(EXPORT kestrelTargets NAMESPACE kestrel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kestrelConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrelConfig.cmake ${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
