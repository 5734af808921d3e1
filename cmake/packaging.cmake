# What a host developer gets (cmake --install, or cpack for a ZIP): the DLL, its import library,
# the public header, zolctl.exe, a CMake package configuration and the example host.
include(CMakePackageConfigHelpers)

install(TARGETS zol_ecd_api RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
install(FILES ${ZOL_COFF_IMPORT_LIBRARY} DESTINATION lib)
install(TARGETS zolctl RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/include/zol_ecd_api.h DESTINATION include)

configure_file(${CMAKE_CURRENT_LIST_DIR}/zol_ecd_api-config.cmake.in
    ${CMAKE_BINARY_DIR}/package/zol_ecd_api-config.cmake COPYONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/zol_ecd_api-config-version.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES
    ${CMAKE_BINARY_DIR}/package/zol_ecd_api-config.cmake
    ${CMAKE_BINARY_DIR}/package/zol_ecd_api-config-version.cmake
    DESTINATION lib/cmake/zol_ecd_api)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/host_c DESTINATION examples)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zol_ecd_api)
set(CPACK_PACKAGE_VENDOR ZolSoundKit)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
