# Builds the Debian package from an already built tree and checks that what it
# installs is a desktop program that starts: the executable finds every library
# (LibreOffice's included), the menu entry, metadata and icons are where
# desktops look, the package depends on what the program needs at run time,
# and the program carries Debian's hardening.
#
#   cmake -DCPACK_CONFIG=<build>/CPackConfig.cmake -DWORK_DIR=<dir> -DAPP_ID=<id>
#         -DICON_SIZES=16;32;... -DLO_RUNPATH=<dir> -DVERSION_TEXT=<1.00>
#         -P check_package.cmake

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_CPACK_COMMAND} -G DEB --config ${CPACK_CONFIG} -B ${WORK_DIR})
file(GLOB debs ${WORK_DIR}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb in ${WORK_DIR}, found: ${debs}")
endif()

set(failures "")
function(failed what)
    set(failures "${failures}\n  ${what}" PARENT_SCOPE)
endfunction()

# Control fields.
run(dpkg-deb --field ${debs} Package Version Section Depends)
message(STATUS "control fields:\n${out}")
if(NOT out MATCHES "Package: tolvane\n")
    failed("package name is not tolvane")
endif()
string(REPLACE "." "\\." version_pattern "${VERSION_TEXT}")
if(NOT out MATCHES "Version: ${version_pattern}\n")
    failed("version is not ${VERSION_TEXT}")
endif()
if(NOT out MATCHES "Section: science\n")
    failed("section is not science")
endif()
# From dpkg-shlibdeps (Qt, the UNO libraries; Debian 13 names some of them
# with a "t64" suffix) and from the explicit list.
foreach(dep libqt6serialport6 libqt6widgets6 libuno-sal3 libuno-cppu3 libreoffice-calc ure
            qt6-qpa-plugins fonts-liberation)
    if(NOT out MATCHES "[:,] ${dep}(t64)?[ ,\n]")
        failed("does not depend on ${dep}")
    endif()
endforeach()

# Contents.
set(root ${WORK_DIR}/root)
run(dpkg-deb --extract ${debs} ${root})
set(expected usr/bin/tolvane
    usr/share/man/man1/tolvane.1.gz
    usr/share/doc/tolvane/copyright
    usr/share/doc/tolvane/changelog.gz
    usr/share/applications/${APP_ID}.desktop
    usr/share/metainfo/${APP_ID}.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/tolvane.svg)
foreach(size IN LISTS ICON_SIZES)
    list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/tolvane.png)
endforeach()
foreach(path IN LISTS expected)
    if(NOT EXISTS ${root}/${path})
        failed("/${path} is missing")
    endif()
endforeach()

set(program ${root}/usr/bin/tolvane)
if(EXISTS ${program})
    # The installed program must find LibreOffice's libraries, and must not
    # look into the build tree or the SDK.
    run(readelf -d ${program})
    string(REGEX MATCH "(RUNPATH|RPATH)[^\n]*\\[([^]\n]*)\\]" entry "${out}")
    string(REPLACE ":" ";" runpath "${CMAKE_MATCH_2}")
    list(REMOVE_ITEM runpath "")
    list(REMOVE_DUPLICATES runpath)
    if(NOT runpath STREQUAL LO_RUNPATH)
        failed("RUNPATH should be ${LO_RUNPATH}, is \"${CMAKE_MATCH_2}\"")
    endif()
    run(ldd ${program})
    if(out MATCHES "not found")
        failed("the loader does not find every library:\n${out}")
    endif()

    # Debian's hardening flags, as they show in the binary.
    run(readelf -hldW --dyn-syms ${program})
    foreach(check
            "Type: +DYN;position-independent (PIE)"
            "GNU_RELRO;RELRO"
            "\\(FLAGS\\)[^\n]*BIND_NOW|\\(FLAGS_1\\)[^\n]*NOW;BIND_NOW"
            "__stack_chk_fail@;stack protector"
            "__[a-z0-9_]+_chk@;FORTIFY (checked functions)")
        list(GET check 0 pattern)
        list(GET check 1 what)
        if(NOT out MATCHES "${pattern}")
            failed("not hardened: no ${what} in usr/bin/tolvane")
        endif()
    endforeach()

    # It starts: the packaged program itself, in a clean environment, says
    # exactly its version on stdout.
    execute_process(COMMAND env -i PATH=/usr/bin:/bin ${program} --version
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "tolvane ${VERSION_TEXT}\n")
        failed("usr/bin/tolvane --version: status ${rc}, stdout \"${out}\", stderr \"${err}\"")
    endif()
endif()

# The installed tree as software centres read it: metadata, menu entry and
# icon together.
execute_process(COMMAND appstreamcli validate-tree --no-net ${root}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    failed("appstreamcli validate-tree:\n${out}")
endif()

# Debian's own checks: any error or warning fails. Informational tags are
# shown but pass.
execute_process(COMMAND lintian --fail-on error,warning --info --tag-display-limit 0 ${debs}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "lintian:\n${out}${err}")
if(NOT rc EQUAL 0 OR out MATCHES "(^|\n)[EW]: ")
    failed("lintian (status ${rc}):\n${out}${err}")
endif()

if(failures)
    message(FATAL_ERROR "${debs}:${failures}")
endif()
message(STATUS "${debs}: all checks passed")
