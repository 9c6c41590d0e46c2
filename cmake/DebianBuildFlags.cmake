# Debian's build flags, as every Debian package gets them, with all hardening
# (FORTIFY, stack protector, RELRO with BIND_NOW; PIE is the compiler's
# default): dpkg-buildflags says which ones this release uses. The build type
# keeps its own -O and -g, and the build tree its own paths.
include_guard(GLOBAL)

find_program(TOLVANE_DPKG_BUILDFLAGS dpkg-buildflags)
find_program(TOLVANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT TOLVANE_DPKG_BUILDFLAGS OR NOT TOLVANE_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-buildflags or dpkg-shlibdeps not found: install dpkg-dev "
        "(./run does). The program is built with Debian's hardening flags, and its "
        "package's library dependencies come from dpkg-shlibdeps; without them the "
        "package would not install on another machine.")
endif()

function(tolvane_debian_flags kind out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${TOLVANE_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O[0-9s]?|g|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

tolvane_debian_flags(CPPFLAGS cppflags)
tolvane_debian_flags(CXXFLAGS cxxflags)
tolvane_debian_flags(LDFLAGS ldflags)
foreach(flag IN LISTS cppflags cxxflags)
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
        # It needs an optimised build, and warns without one.
        add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
    else()
        add_compile_options(${flag})
    endif()
endforeach()
add_link_options(${ldflags})
message(STATUS "Debian build flags: ${cppflags} ${cxxflags} ${ldflags}")
