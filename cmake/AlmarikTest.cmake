# almarik_add_test(<name> LINK <layer> SOURCES <file>... [DESKTOP [NOTRAY]] [SOUND] [LIBS <lib>...]
#                  [STAGED] [TIMEOUT <s>])
#
# LINK names the lowest layer that holds what the test tests (zel, ka_base,
# ka_store or ka_gui); the test links that layer and its test helpers only, so
# a test of a lower layer never links a window.
#
# Builds a QtTest executable and registers it with CTest so that it runs in an
# isolated environment (tests/support/run-isolated): a fresh temporary HOME and
# XDG folders, a fixed locale and time zone, and the offscreen platform. DESKTOP
# runs it on Xvfb with a window manager and a tray (with NOTRAY, the window
# manager without a tray: a desktop without a notification area); SOUND runs it
# beside a PulseAudio daemon with a null sink. STAGED: the test starts the staged
# program, whose path it gets as ALMARIK_STAGED_EXE, and is built after it. No
# test sees the real user's folders.
set(ALMARIK_RUN_ISOLATED "${CMAKE_SOURCE_DIR}/tests/support/run-isolated")

function(almarik_add_test name)
    cmake_parse_arguments(T "DESKTOP;NOTRAY;SOUND;STAGED" "TIMEOUT;LINK" "SOURCES;LIBS;ARGS" ${ARGN})
    if(T_LINK STREQUAL "zel")
        set(layer zel)
    elseif(T_LINK STREQUAL "ka_base")
        set(layer ka_test_base)
    elseif(T_LINK STREQUAL "ka_store")
        set(layer ka_test_store)
    elseif(T_LINK STREQUAL "ka_gui")
        set(layer ka_test_gui)
    else()
        message(FATAL_ERROR "almarik_add_test(${name}): LINK must be zel, ka_base, ka_store or ka_gui")
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE project_cfg ${layer} Qt6::Test ${T_LIBS})
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    target_compile_definitions(${name} PRIVATE ALMARIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    if(T_STAGED)
        target_compile_definitions(${name} PRIVATE ALMARIK_STAGED_EXE="$<TARGET_FILE:almarik>")
        add_dependencies(${name} almarik)
    endif()

    set(flags "")
    set(labels "unit")
    if(T_DESKTOP)
        target_link_libraries(${name} PRIVATE ka_test_desktop)
        list(APPEND flags --desktop)
        set(labels "desktop")
        if(T_NOTRAY)
            list(APPEND flags --no-tray)
        endif()
    elseif(T_NOTRAY)
        message(FATAL_ERROR "almarik_add_test(${name}): NOTRAY goes with DESKTOP")
    endif()
    if(T_SOUND)
        list(APPEND flags --sound)
        list(APPEND labels "sound")
    endif()
    add_test(NAME ${name}
             COMMAND python3 "${ALMARIK_RUN_ISOLATED}" ${flags}
                     --traywait $<TARGET_FILE:almarik_traywait>
                     -- $<TARGET_FILE:${name}> ${T_ARGS})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT})
    if(T_DESKTOP OR T_SOUND)
        # One display and one sound server at a time keep two cores calm.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "desktop_sound")
    endif()
endfunction()
