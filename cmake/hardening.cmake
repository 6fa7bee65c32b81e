# Builds that prove the tool against hostile input: everything instrumented with
# AddressSanitizer and UndefinedBehaviorSanitizer (VORKAST_SANITIZE), and the
# libFuzzer targets of fuzz/ (VORKAST_FUZZ). Both are meant for their own build
# folders; the normal build is untouched.
option(VORKAST_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VORKAST_FUZZ "Build the libFuzzer targets of fuzz/ (clang only)" OFF)

if(VORKAST_SANITIZE OR VORKAST_FUZZ)
    if(MSVC)
        message(FATAL_ERROR "VORKAST_SANITIZE and VORKAST_FUZZ need GCC or clang")
    endif()
    set(VORKAST_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    # GCC leaves these out of "undefined"; records and telemetry carry arbitrary floats.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        list(APPEND VORKAST_SANITIZER_FLAGS -fsanitize=float-cast-overflow)
    endif()
    add_compile_options(${VORKAST_SANITIZER_FLAGS})
    add_link_options(${VORKAST_SANITIZER_FLAGS})
endif()

if(VORKAST_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VORKAST_FUZZ needs clang (libFuzzer), e.g. -DCMAKE_CXX_COMPILER=clang++-14")
    endif()
    # Coverage for every library the targets reach; only the targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
