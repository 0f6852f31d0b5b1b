# project_cfg: the one INTERFACE target every library, program, test and
# benchmark links. It carries the language level, the warnings and the Qt
# hygiene macros.
add_library(project_cfg INTERFACE)

target_compile_features(project_cfg INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(project_cfg INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
        -Wcast-align -Wformat=2 -Wimplicit-fallthrough)
    if(ALMARIK_WERROR)
        target_compile_options(project_cfg INTERFACE -Werror)
    endif()
elseif(MSVC)
    target_compile_options(project_cfg INTERFACE /W4 /utf-8)
    if(ALMARIK_WERROR)
        target_compile_options(project_cfg INTERFACE /WX)
    endif()
endif()

target_compile_definitions(project_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    QT_NO_KEYWORDS)
