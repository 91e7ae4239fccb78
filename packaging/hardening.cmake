# Debian's hardening flags for the packaged binaries, as dpkg-buildflags gives them with every
# hardening feature on (fortified functions, stack protector, format checks, read-only relocations
# and immediate binding), and the tools CPack's dependency scan needs. Included when
# TAMARIN_PACKAGE is on.
foreach(tool dpkg-buildflags dpkg-shlibdeps file)
    string(MAKE_C_IDENTIFIER "TAMARIN_${tool}" variable)
    find_program(${variable} ${tool})
    if(NOT ${variable})
        message(FATAL_ERROR "Building the packages needs ${tool} (apt install dpkg-dev file): "
                            "without it the packages would not name the libraries they need.")
    endif()
endforeach()

function(tamarin_buildflags name out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${TAMARIN_dpkg_buildflags} --get ${name}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(${out} "${flags}" PARENT_SCOPE)
endfunction()
tamarin_buildflags(CPPFLAGS cppflags)
tamarin_buildflags(CXXFLAGS cxxflags)
tamarin_buildflags(LDFLAGS ldflags)
# Only the hardening is taken: the optimisation and debug levels stay the build type's, and the
# source path mapping (which names this folder) is left out.
string(REGEX REPLACE "-ffile-prefix-map=[^ ]*" "" cxxflags "${cxxflags}")
string(REGEX REPLACE "(^| )-(O[0-9s]?|g)( |$)" " " cxxflags "${cxxflags}")
string(REGEX REPLACE "(^| )-(O[0-9s]?|g)( |$)" " " cxxflags "${cxxflags}")
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} ${cppflags} ${cxxflags}")
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} ${ldflags}")
string(STRIP "${cppflags} ${cxxflags}" compile)
message(STATUS "Hardening: ${compile} | ${ldflags}")
