# Installation: the shared libraries with versioned sonames, their public headers under
# include/morsehandler (by their repository paths), morsetool, the bundled data, the licence, a
# CMake package and one pkg-config file per library.
include(CMakePackageConfigHelpers)

set(MORSEHANDLER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MorseHandler)

install(TARGETS morsecore EXPORT MorseHandlerTargets)
get_target_property(morsecore_headers morsecore MORSE_PUBLIC_HEADERS)
morse_install_headers(${morsecore_headers})

morse_install_library(morsehost DESCRIPTION "Host services the morsehandler library calls"
    REQUIRES Qt5Core)
morse_install_library(morsehandler DESCRIPTION "${PROJECT_DESCRIPTION}" REQUIRES morsehost Qt5Core)
if(TARGET cwdemodulator)
    morse_install_library(cwdemodulator DESCRIPTION "Streaming CW demodulator: audio to Morse symbol codes")
endif()
if(TARGET fskdemodulator)
    morse_install_library(fskdemodulator DESCRIPTION "Streaming FSK (RTTY) demodulator: audio to teleprinter text")
endif()

install(TARGETS morsetool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/morsehandler)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morsehandler)

# The package names every public header (not the transitional ones), so that the consumer checks
# compile and link a probe of each.
set(MORSEHANDLER_PACKAGE_PUBLIC_HEADERS)
foreach(library morsecore morsehost morsehandler cwdemodulator fskdemodulator)
    if(TARGET ${library})
        get_target_property(headers ${library} MORSE_PUBLIC_HEADERS)
        list(TRANSFORM headers REPLACE "^${MORSEHANDLER_GENERATED_ROOT}/" "")
        list(APPEND MORSEHANDLER_PACKAGE_PUBLIC_HEADERS ${headers})
    endif()
endforeach()

install(EXPORT MorseHandlerTargets NAMESPACE MorseHandler:: DESTINATION ${MORSEHANDLER_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MorseHandlerConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MorseHandlerConfig.cmake INSTALL_DESTINATION ${MORSEHANDLER_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MorseHandlerConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MorseHandlerConfig.cmake
    ${PROJECT_BINARY_DIR}/MorseHandlerConfigVersion.cmake DESTINATION ${MORSEHANDLER_CMAKE_DIR})

set(CPACK_PACKAGE_NAME morsehandler)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "morsehandler developers")
set(CPACK_PACKAGE_CONTACT "morsehandler developers <morsehandler@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Dependencies (Qt, libsndfile, liquid-dsp, KissFFT and the C and C++ runtimes) come from the
# binaries themselves; our own libraries are part of the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CMAKE_LIBRARY_OUTPUT_DIRECTORY)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/host
        ${PROJECT_BINARY_DIR}/tools/morsehandler ${PROJECT_BINARY_DIR}/tools/cwdemodulator
        ${PROJECT_BINARY_DIR}/tools/fskdemodulator)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)

# morsetool's manual page and its bash and zsh completions.
install(FILES ${PROJECT_SOURCE_DIR}/apps/morsetool/share/morsetool.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/apps/morsetool/share/completion/morsetool.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME morsetool)
install(FILES ${PROJECT_SOURCE_DIR}/apps/morsetool/share/completion/_morsetool
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
