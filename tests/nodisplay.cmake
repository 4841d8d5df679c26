# The window program started where no display can be opened: it says so in
# one line on standard error and exits with status 1, not with a signal.
# Run as: cmake -DPROGRAM=path/to/tintwell -P nodisplay.cmake

# A display number no test server uses: nothing answers there.
set(silent_display ":4243")

set(passed 0)
set(failed 0)

# Runs the program with the display variables removed, then `environment`
# set, and `arguments` on its command line.
function(expect_no_display name environment arguments)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                --unset=XDG_SESSION_TYPE ${environment} ${PROGRAM} ${arguments}
        RESULT_VARIABLE status
        OUTPUT_VARIABLE out
        ERROR_VARIABLE err
        TIMEOUT 60)

    string(REGEX MATCHALL "\n" newlines "${err}")
    list(LENGTH newlines lines)
    set(problem "")
    if(NOT status STREQUAL "1")
        set(problem "exit status \"${status}\", expected 1")
    elseif(NOT lines EQUAL 1
           OR NOT err MATCHES "^tintwell: no display to open \\(.+\\); tintwell-sheet works without one\n$")
        set(problem "expected one line saying there is no display")
    elseif(NOT out STREQUAL "")
        set(problem "nothing expected on standard output, got: ${out}")
    endif()

    if(problem)
        message(SEND_ERROR "${name}: ${problem}\n${err}")
        math(EXPR failed "${failed} + 1")
        set(failed ${failed} PARENT_SCOPE)
    else()
        message(STATUS "${name}: ${err}")
        math(EXPR passed "${passed} + 1")
        set(passed ${passed} PARENT_SCOPE)
    endif()
endfunction()

expect_no_display("no display variable" "" "")
expect_no_display("a display that does not answer" "DISPLAY=${silent_display}" "")
expect_no_display("X asked for by name, no display variable" "QT_QPA_PLATFORM=xcb" "")
expect_no_display("a display named on the command line" "" "-display;${silent_display}")
expect_no_display("a display named on the command line, double dash" "" "--display;${silent_display}")
expect_no_display("a Wayland session without a compositor"
                  "XDG_SESSION_TYPE=wayland;XDG_RUNTIME_DIR=${CMAKE_CURRENT_LIST_DIR}" "")

# A platform that needs no display, named on the command line in Qt's
# single-dash form or the double-dash form: the window starts, and is still
# up when the test stops it.
foreach(dashes - --)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                --unset=XDG_SESSION_TYPE ${PROGRAM} ${dashes}platform offscreen
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 3)
    if(status MATCHES "timeout" AND NOT err MATCHES "no display")
        math(EXPR passed "${passed} + 1")
    else()
        message(SEND_ERROR "${dashes}platform offscreen without a display did not start: status \"${status}\"\n${err}")
        math(EXPR failed "${failed} + 1")
    endif()
endforeach()

# An unknown option is named, also without a display; the window system's
# own options are no error.
foreach(case "--bogus|Unknown option 'bogus'" "-bogus;-display;:4243|Unknown option 'bogus'"
             "-x|Unknown option 'x'")
    string(REPLACE "|" ";" case "${case}")
    list(POP_BACK case expected)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                --unset=XDG_SESSION_TYPE ${PROGRAM} ${case}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    if(status STREQUAL "1" AND err MATCHES "^Tintwell: ${expected}\\.\n" AND NOT err MATCHES "no display" AND out STREQUAL "")
        math(EXPR passed "${passed} + 1")
    else()
        message(SEND_ERROR "${case} without a display: status \"${status}\", expected 1 and \"${expected}\"\n${err}")
        math(EXPR failed "${failed} + 1")
    endif()
endforeach()

# --version and --help are answered without a display.
foreach(option --version --help)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                --unset=XDG_SESSION_TYPE ${PROGRAM} ${option}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    if(status STREQUAL "0" AND out MATCHES "^(Tintwell [0-9]|Usage: )" AND err STREQUAL "")
        math(EXPR passed "${passed} + 1")
    else()
        message(SEND_ERROR "${option} without a display: status \"${status}\"\n${out}${err}")
        math(EXPR failed "${failed} + 1")
    endif()
endforeach()

message(STATUS "${passed} passed, ${failed} failed")
