# kalvenor_add_test(NAME <name> LABEL <unit|integration|gui> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable registered with CTest. GUI tests run headless; every test gets a
# private XDG_RUNTIME_DIR so Qt stays quiet.
function(kalvenor_add_test)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    if(NOT T_LABEL STREQUAL "gui")
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set(runtime_dir ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.xdg)
    file(MAKE_DIRECTORY ${runtime_dir})
    file(CHMOD ${runtime_dir} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS ${T_LABEL}
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime_dir}")
endfunction()
