# Settings every Quorvel target shares: language level, warnings, Qt strictness.
add_library(quorvel_settings INTERFACE)
target_compile_features(quorvel_settings INTERFACE cxx_std_20)
target_compile_options(quorvel_settings INTERFACE -Wall -Wextra)
target_compile_definitions(quorvel_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS
    $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)
if(QUORVEL_SANITIZE)
    target_compile_options(quorvel_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(quorvel_settings INTERFACE -fsanitize=address,undefined)
endif()
