# Installing the loader libraries for other programs: the static libraries, their public
# headers (never detail/), a CMake package (find_package(Halvorine COMPONENTS ...), targets
# Halvorine::<folder>) and a pkg-config file. Everything here goes into the install component
# "library"; the saver's own files are the component "saver", the only one the .deb carries.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HALV_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/halvorine)
set(HALV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Halvorine)

# halv_install_library(<folder> [TARGETS ...])
# Installs halv_<folder> (or the given targets) as Halvorine::<folder> and the folder's public
# headers, the .h files at its root, under include/halvorine/<folder>/.
function(halv_install_library folder)
    cmake_parse_arguments(ARG "" "" "TARGETS" ${ARGN})
    if(NOT ARG_TARGETS)
        set(ARG_TARGETS halv_${folder})
    endif()
    foreach(target IN LISTS ARG_TARGETS)
        string(REGEX REPLACE "^halv_" "" exportName ${target})
        set_target_properties(${target} PROPERTIES EXPORT_NAME ${exportName})
        # Consumers compile the headers as C++20 too.
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "INTERFACE_LIBRARY")
            target_compile_features(${target} INTERFACE cxx_std_20)
        else()
            target_compile_features(${target} PUBLIC cxx_std_20)
        endif()
    endforeach()
    install(TARGETS ${ARG_TARGETS} EXPORT HalvorineTargets
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
            INCLUDES DESTINATION ${HALV_INSTALL_INCLUDEDIR})
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    install(FILES ${headers} DESTINATION ${HALV_INSTALL_INCLUDEDIR}/${folder} COMPONENT library)
endfunction()

# The package files, written once every library has declared itself.
function(halv_install_package)
    install(EXPORT HalvorineTargets NAMESPACE Halvorine:: FILE HalvorineTargets.cmake
            DESTINATION ${HALV_INSTALL_CMAKEDIR} COMPONENT library)
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/HalvorineConfig.cmake.in
        ${PROJECT_BINARY_DIR}/HalvorineConfig.cmake INSTALL_DESTINATION ${HALV_INSTALL_CMAKEDIR})
    write_basic_package_version_file(${PROJECT_BINARY_DIR}/HalvorineConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
    install(FILES ${PROJECT_BINARY_DIR}/HalvorineConfig.cmake
                  ${PROJECT_BINARY_DIR}/HalvorineConfigVersion.cmake
            DESTINATION ${HALV_INSTALL_CMAKEDIR} COMPONENT library)

    # pkg-config: prefix-relative paths, so the file works from any install prefix.
    file(RELATIVE_PATH HALV_PC_LIBDIR_FROM_PREFIX ${CMAKE_INSTALL_PREFIX}
         ${CMAKE_INSTALL_FULL_LIBDIR})
    file(RELATIVE_PATH HALV_PC_INCLUDEDIR_FROM_PREFIX ${CMAKE_INSTALL_PREFIX}
         ${CMAKE_INSTALL_FULL_INCLUDEDIR}/halvorine)
    file(RELATIVE_PATH HALV_PC_PREFIX_FROM_PCDIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
         ${CMAKE_INSTALL_PREFIX})
    string(REGEX REPLACE "/$" "" HALV_PC_PREFIX_FROM_PCDIR "${HALV_PC_PREFIX_FROM_PCDIR}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/halvorine.pc.in ${PROJECT_BINARY_DIR}/halvorine.pc
                   @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/halvorine.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT library)
endfunction()
