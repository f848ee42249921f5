# Fuzz build (ORVEL_FUZZ=ON): clang with AddressSanitizer + UndefinedBehaviorSanitizer everywhere and
# libFuzzer coverage on our own code. It needs its own build tree (the gcc trees cannot link libFuzzer).

if(NOT ORVEL_FUZZ)
    return()
endif()

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORVEL_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
if(NOT ORVEL_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ORVEL_FUZZ brings its own sanitizers: leave ORVEL_SANITIZE empty")
endif()
if(NOT ORVEL_WITH_JUCE)
    message(FATAL_ERROR "ORVEL_FUZZ needs ORVEL_WITH_JUCE (the targets drive the processor)")
endif()

add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)

# coverage feedback for the code under test, not for the framework
function(orvel_fuzz_instrument target)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
endfunction()
