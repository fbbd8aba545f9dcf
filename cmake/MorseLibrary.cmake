# One shape for every library the project ships (the handler, each demodulator front end):
#
#   morse_add_library(<name> EXPORT_PREFIX <PREFIX>
#       SOURCES <files...>
#       PUBLIC_HEADERS <paths from the repository root...>
#       [PUBLIC_LIBRARIES <targets...>] [PRIVATE_LIBRARIES <targets...>]
#       [PRIVATE_INCLUDES <dirs...>])
#
# makes three targets from one compilation of the sources:
#   <name>_objects   the objects, compiled once with <PREFIX>_BUILDING defined;
#   <name>           the shared library that is installed; it exports only what the public
#                    headers mark with <PREFIX>_EXPORT (alias MorseHandler::<name>);
#   <name>_internals a static library of the same objects for the project's own programs and
#                    tests, which also use the internal classes. A program links either this or
#                    the shared library, never both.
# The public headers are recorded on the shared library (property MORSE_PUBLIC_HEADERS) for
# installation and for the consumer checks.
function(morse_add_library name)
    cmake_parse_arguments(ARG "" "EXPORT_PREFIX"
        "SOURCES;PUBLIC_HEADERS;PUBLIC_LIBRARIES;PRIVATE_LIBRARIES;PRIVATE_INCLUDES"
        ${ARGN})

    add_library(${name}_objects OBJECT ${ARG_SOURCES})
    target_compile_definitions(${name}_objects PUBLIC ${ARG_EXPORT_PREFIX}_BUILDING)
    target_include_directories(${name}_objects PUBLIC ${MORSEHANDLER_SOURCE_ROOT} ${MORSEHANDLER_GENERATED_ROOT}
                               PRIVATE ${ARG_PRIVATE_INCLUDES})
    target_link_libraries(${name}_objects PUBLIC ${ARG_PUBLIC_LIBRARIES}
                          PRIVATE ${ARG_PRIVATE_LIBRARIES} morse_warnings)

    add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
    add_library(${name}_internals STATIC $<TARGET_OBJECTS:${name}_objects>)
    foreach(target ${name} ${name}_internals)
        target_include_directories(${target} PUBLIC
            $<BUILD_INTERFACE:${MORSEHANDLER_SOURCE_ROOT}> $<BUILD_INTERFACE:${MORSEHANDLER_GENERATED_ROOT}>
            $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/morsehandler>)
        target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBRARIES} PRIVATE ${ARG_PRIVATE_LIBRARIES})
        set_target_properties(${target} PROPERTIES AUTOMOC OFF)
    endforeach()
    target_compile_definitions(${name}_internals INTERFACE ${ARG_EXPORT_PREFIX}_BUILDING)

    add_library(MorseHandler::${name} ALIAS ${name})
    set_target_properties(${name} PROPERTIES
        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
        INSTALL_RPATH "$ORIGIN"
        MORSE_PUBLIC_HEADERS "${ARG_PUBLIC_HEADERS}")
endfunction()

# morse_install_library(<name> DESCRIPTION <text> [REQUIRES <pkg-config modules...>])
# Installs the shared library into the MorseHandlerTargets export set, its public
# headers under include/morsehandler/ by their repository paths, and a pkg-config
# file <name>.pc.
function(morse_install_library name)
    cmake_parse_arguments(ARG "" "DESCRIPTION" "REQUIRES" ${ARGN})
    install(TARGETS ${name} EXPORT MorseHandlerTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    get_target_property(public ${name} MORSE_PUBLIC_HEADERS)
    morse_install_headers(${public})
    morse_install_pkgconfig(${name} "${ARG_DESCRIPTION}" "${ARG_REQUIRES}")
endfunction()

# morse_install_headers(<paths from the repository root, or generated files...>): each under include/morsehandler/
# with its folder, so that installed code includes it by the same path as the sources do.
function(morse_install_headers)
    foreach(header ${ARGN})
        if(IS_ABSOLUTE "${header}")
            file(RELATIVE_PATH relative ${MORSEHANDLER_GENERATED_ROOT} ${header})
            set(source ${header})
        else()
            set(relative ${header})
            set(source ${MORSEHANDLER_SOURCE_ROOT}/${header})
        endif()
        get_filename_component(folder ${relative} DIRECTORY)
        install(FILES ${source} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morsehandler/${folder})
    endforeach()
endfunction()

# The pkg-config file finds the prefix from where it lies, so that an installation made with
# another prefix (make install PREFIX=..., cmake --install --prefix ...) or moved elsewhere still
# points at its own headers and libraries.
function(morse_install_pkgconfig name description requires)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
        set(MORSE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    else()
        file(RELATIVE_PATH up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
        string(REGEX REPLACE "/$" "" up "${up}")
        set(MORSE_PC_PREFIX "\${pcfiledir}/${up}")
    endif()
    set(MORSE_PC_NAME ${name})
    set(MORSE_PC_DESCRIPTION "${description}")
    string(REPLACE ";" ", " MORSE_PC_REQUIRES "${requires}")
    configure_file(${MORSEHANDLER_SOURCE_ROOT}/cmake/library.pc.in ${PROJECT_BINARY_DIR}/${name}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
