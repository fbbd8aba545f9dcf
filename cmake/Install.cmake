# Installation: libraries with versioned sonames, public headers under include/morsehandler,
# morsetool, the bundled data, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(MORSEHANDLER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MorseHandler)

# Installed binaries find their libraries beside them, wherever the prefix is.
set_target_properties(morsehost morsehandler PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(morsetool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(TARGETS morsehost morsehandler EXPORT MorseHandlerTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morsehandler)
install(TARGETS morsetool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(folder host tools/morsehandler shared/source)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morsehandler/${folder}
        FILES_MATCHING PATTERN "*.h")
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/morsehandler)

install(EXPORT MorseHandlerTargets NAMESPACE MorseHandler:: DESTINATION ${MORSEHANDLER_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MorseHandlerConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MorseHandlerConfig.cmake INSTALL_DESTINATION ${MORSEHANDLER_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MorseHandlerConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MorseHandlerConfig.cmake
    ${PROJECT_BINARY_DIR}/MorseHandlerConfigVersion.cmake DESTINATION ${MORSEHANDLER_CMAKE_DIR})

# The pkg-config file finds the prefix from where it lies, so that an installation made with
# another prefix (make install PREFIX=..., cmake --install --prefix ...) or moved elsewhere
# still points at its own headers and libraries.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(MORSEHANDLER_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH MORSEHANDLER_PC_UP "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
    string(REGEX REPLACE "/$" "" MORSEHANDLER_PC_UP "${MORSEHANDLER_PC_UP}")
    set(MORSEHANDLER_PC_PREFIX "\${pcfiledir}/${MORSEHANDLER_PC_UP}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/morsehandler.pc.in ${PROJECT_BINARY_DIR}/morsehandler.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/morsehandler.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME morsehandler)
set(CPACK_PACKAGE_VENDOR "morsehandler developers")
set(CPACK_PACKAGE_CONTACT "morsehandler developers <morsehandler@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Dependencies (Qt and the C and C++ runtimes) come from the binaries themselves; our own two
# libraries are part of the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/host ${PROJECT_BINARY_DIR}/tools/morsehandler)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)

# morsetool's manual page and its bash and zsh completions.
install(FILES ${PROJECT_SOURCE_DIR}/apps/morsetool/share/morsetool.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/apps/morsetool/share/completion/morsetool.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME morsetool)
install(FILES ${PROJECT_SOURCE_DIR}/apps/morsetool/share/completion/_morsetool
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
