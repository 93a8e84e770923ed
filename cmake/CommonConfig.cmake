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
