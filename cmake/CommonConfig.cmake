# Compile settings shared by every target of the project.
add_library(varnell_settings INTERFACE)
target_compile_features(varnell_settings INTERFACE cxx_std_20)
target_compile_options(varnell_settings INTERFACE -Wall -Wextra -Wpedantic)
if(VARNELL_WERROR)
    target_compile_options(varnell_settings INTERFACE -Werror)
endif()
target_compile_definitions(varnell_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH)

if(VARNELL_SANITIZE)
    target_compile_options(varnell_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(varnell_settings INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz build instruments every object for libFuzzer's coverage and runs
# it under AddressSanitizer and UndefinedBehaviorSanitizer; a finding of
# either stops the run, so that libFuzzer keeps the input.
if(VARNELL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VARNELL_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++-14)")
    endif()
    if(VARNELL_SANITIZE)
        message(FATAL_ERROR "VARNELL_FUZZ brings its own sanitizers; leave VARNELL_SANITIZE off")
    endif()
    target_compile_options(varnell_settings INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    target_link_options(varnell_settings INTERFACE -fsanitize=address,undefined)
endif()
