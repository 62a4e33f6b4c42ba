# Settings shared by every target of the project.
if(MORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "MORVANE_FUZZ needs clang (libFuzzer); configure a fresh build folder")
    endif()
    if(NOT MORVANE_SANITIZE STREQUAL "")
        message(FATAL_ERROR "MORVANE_FUZZ brings its own sanitizers: leave MORVANE_SANITIZE empty")
    endif()
    # The fuzzers need no window: the desktop program and its tests stay out of this build.
    set(MORVANE_BUILD_UI OFF CACHE BOOL "Build the desktop program (Qt Widgets)" FORCE)
    # Every library is instrumented for coverage; only the fuzzers link libFuzzer's main().
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(MORVANE_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(MORVANE_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT MORVANE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "MORVANE_SANITIZE must be empty, 'address' or 'thread'")
endif()

function(morvane_apply_common target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
    target_compile_definitions(${target} PRIVATE
        QT_NO_FOREACH QT_USE_QSTRINGBUILDER QT_NO_CAST_FROM_BYTEARRAY QT_NO_KEYWORDS)
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
