# Script mode: cmake -DBUILD_DIR=... -DCONSUMER_DIR=... -DWORK_DIR=... [-DPREFIX=...] -P RunConsumer.cmake
# Installs BUILD_DIR into a fresh prefix (or uses PREFIX, already installed), then builds the
# consumer project against it with find_package and runs its checks, and builds the README's
# example once more with the flags pkg-config gives.
if(NOT PREFIX)
    file(REMOVE_RECURSE ${WORK_DIR})
    set(PREFIX ${WORK_DIR}/prefix)
endif()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(OUTPUT "${out}" PARENT_SCOPE)
endfunction()

if(BUILD_DIR)
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
    # morsetool's manual page and completions come with it.
    foreach(installed share/man/man1/morsetool.1 share/bash-completion/completions/morsetool
            share/zsh/vendor-completions/_morsetool)
        if(NOT EXISTS ${PREFIX}/${installed})
            message(FATAL_ERROR "${installed} was not installed")
        endif()
    endforeach()
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -DCMAKE_PREFIX_PATH=${PREFIX}
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${CMAKE_CTEST_COMMAND} --test-dir ${WORK_DIR}/consumer --output-on-failure)

find_program(PKG_CONFIG pkg-config)
find_program(CXX NAMES c++ g++)
if(PKG_CONFIG AND CXX)
    file(GLOB pc_dirs ${PREFIX}/lib/pkgconfig ${PREFIX}/lib/*/pkgconfig)
    string(REPLACE ";" ":" pc_path "${pc_dirs}")
    set(ENV{PKG_CONFIG_PATH} "${pc_path}")
    run(${PKG_CONFIG} --cflags --libs morsehandler)
    separate_arguments(flags UNIX_COMMAND "${OUTPUT}")
    run(${PKG_CONFIG} --variable=libdir morsehandler)
    string(STRIP "${OUTPUT}" libdir)
    # The paths are those of the prefix installed into, whatever the build was configured with.
    if(NOT EXISTS "${libdir}/libmorsehandler.so")
        message(FATAL_ERROR "pkg-config names '${libdir}' as the library directory")
    endif()
    run(${CXX} -std=c++17 -fPIC ${CONSUMER_DIR}/readmeexample.cpp ${flags} -Wl,-rpath,${libdir}
        -o ${WORK_DIR}/readme_example_pkgconfig)
    run(${WORK_DIR}/readme_example_pkgconfig)
    if(NOT OUTPUT STREQUAL "AB \n")
        message(FATAL_ERROR "the pkg-config build printed '${OUTPUT}', expected 'AB '")
    endif()
    # Each demodulator library's probe builds with its own pkg-config flags alone, and runs.
    foreach(library cwdemodulator fskdemodulator)
        if(EXISTS ${libdir}/lib${library}.so)
            run(${PKG_CONFIG} --cflags --libs ${library})
            separate_arguments(flags UNIX_COMMAND "${OUTPUT}")
            run(${CXX} -std=c++17 -fPIC ${CONSUMER_DIR}/probes/${library}.cpp ${flags}
                -Wl,-rpath,${libdir} -o ${WORK_DIR}/probe_${library}_pkgconfig)
            run(${WORK_DIR}/probe_${library}_pkgconfig)
        endif()
    endforeach()
endif()
message(STATUS "consumer checks passed against ${PREFIX}")
