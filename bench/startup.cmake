# Start-up benchmark of the real program (not part of the tests):
#   cmake --build build --target startup_bench
# runs bench/startup_bench.sh on a display of its own; needs Xvfb, openbox
# and xdotool.
if(TARGET tolvane)
    find_package(X11)
endif()
if(TARGET tolvane AND X11_xcb_FOUND)
    add_executable(startup_probe ${CMAKE_CURRENT_LIST_DIR}/startup_probe.cpp)
    target_link_libraries(startup_probe PRIVATE X11::xcb)
    set_target_properties(startup_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    add_custom_target(startup_bench
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/startup_bench.sh ${CMAKE_BINARY_DIR}
        DEPENDS tolvane kld350-sim startup_probe
        USES_TERMINAL)
endif()
