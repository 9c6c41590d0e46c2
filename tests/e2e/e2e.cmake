# The whole program on a virtual display under a window manager (label "gui"):
# Xvfb, openbox, xdotool and xprop must be installed. The screenshot it takes
# is left in artifacts/ of the build directory.
if(TARGET tolvane)
    find_package(Qt6 REQUIRED COMPONENTS Gui)
    add_executable(tolvane_screenshot ${CMAKE_CURRENT_LIST_DIR}/../tools/screenshot.cpp)
    target_link_libraries(tolvane_screenshot PRIVATE Qt6::Gui)

    add_test(NAME EndToEnd.OneBlockFromStartToClose
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/end_to_end.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim> $<TARGET_FILE:tolvane_screenshot>
            ${CMAKE_BINARY_DIR}/artifacts)
    set_tests_properties(EndToEnd.OneBlockFromStartToClose PROPERTIES LABELS gui TIMEOUT 120)
    add_test(NAME EndToEnd.ASavedPortThatCannotBeOpened
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/end_to_end.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim> $<TARGET_FILE:tolvane_screenshot>
            ${CMAKE_BINARY_DIR}/artifacts locked-port)
    set_tests_properties(EndToEnd.ASavedPortThatCannotBeOpened PROPERTIES LABELS gui TIMEOUT 120)

    # Noise, closing, Exit, a port change and SIGTERM against the real program.
    add_test(NAME EndToEnd.ReceptionLosesNothingAndInventsNothing
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/reception_e2e.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim>)
    set_tests_properties(EndToEnd.ReceptionLosesNothingAndInventsNothing PROPERTIES
        LABELS gui TIMEOUT 180)
    # The same while every core is kept busy at the lowest priority: late
    # bursts from the kernel and a program without CPU for a while.
    add_test(NAME EndToEnd.ReceptionOnABusyMachine
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/under_load.sh 175 ${CMAKE_CURRENT_LIST_DIR}/reception_e2e.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim>)
    set_tests_properties(EndToEnd.ReceptionOnABusyMachine PROPERTIES
        LABELS gui TIMEOUT 180 RUN_SERIAL TRUE)
endif()

# The Inspection window following what the polling window writes.
if(TARGET tolvane)
    add_test(NAME EndToEnd.InspectionWindowFollowsThePollingWindow
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/inspect_e2e.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim> $<TARGET_FILE:tolvane_screenshot>
            ${CMAKE_BINARY_DIR}/artifacts)
    set_tests_properties(EndToEnd.InspectionWindowFollowsThePollingWindow PROPERTIES
        LABELS gui TIMEOUT 180)
    # Two polling programs side by side, one Inspection window over both.
    add_test(NAME EndToEnd.InspectionWindowFollowsTwoStations
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/inspect_stations_e2e.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim> $<TARGET_FILE:tolvane_screenshot>
            ${CMAKE_BINARY_DIR}/artifacts)
    set_tests_properties(EndToEnd.InspectionWindowFollowsTwoStations PROPERTIES
        LABELS gui TIMEOUT 180)

    find_package(Qt6 REQUIRED COMPONENTS DBus)
    add_executable(notification_listener ${CMAKE_CURRENT_LIST_DIR}/../tools/notification_listener.cpp)
    set_target_properties(notification_listener PROPERTIES AUTOMOC ON)
    target_link_libraries(notification_listener PRIVATE Qt6::DBus)
    add_test(NAME EndToEnd.AlarmAcknowledgedIntoTheJournal
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/alarm_e2e.sh
            $<TARGET_FILE:tolvane> $<TARGET_FILE:kld350-sim> $<TARGET_FILE:tolvane_screenshot>
            $<TARGET_FILE:notification_listener> ${CMAKE_BINARY_DIR}/artifacts)
    set_tests_properties(EndToEnd.AlarmAcknowledgedIntoTheJournal PROPERTIES
        LABELS gui TIMEOUT 180)
endif()
