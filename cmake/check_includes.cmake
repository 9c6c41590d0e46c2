# cmake -DSRC=<src> -P check_includes.cmake
# The logic and its interfaces stay standard C++: no Qt or UNO header, no
# header of an adapter or of the windows. No adapter reaches into another,
# and no program's windows into the other's.
function(forbid folders pattern)
    foreach(folder IN LISTS folders)
        file(GLOB_RECURSE files ${SRC}/${folder}/*)
        foreach(file IN LISTS files)
            file(STRINGS ${file} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${pattern})")
            foreach(hit IN LISTS hits)
                string(APPEND bad "  ${file}: ${hit}\n")
            endforeach()
        endforeach()
    endforeach()
    set(bad "${bad}" PARENT_SCOPE)
endfunction()
set(adapters "posix/|qt/|uno/")
set(windows "shell/|inspection/|app/")
set(office "com/sun/star/|cppu|rtl/|sal/|osl/")
forbid("records;link;export;quality;session;platform" "Q|${office}|${adapters}|${windows}")
forbid("posix" "Q|${office}|qt/|uno/|${windows}")
forbid("qt" "${office}|posix/|uno/|${windows}")
forbid("uno" "Q|posix/|qt/|${windows}")
# Each program's windows keep to their own folder: the polling windows and
# the Inspection never include each other, and only the composition root
# (app/) sees the files and the office.
forbid("shell" "${office}|posix/|uno/|inspection/|app/")
forbid("inspection" "${office}|posix/|uno/|shell/|app/")
if(bad)
    message(FATAL_ERROR "Headers included where they do not belong (see src/README.md):\n${bad}")
endif()
