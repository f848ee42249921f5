# Warnings for our own code, sanitizer options for the whole build.

function(orvel_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor
                                             -Woverloaded-virtual -Wno-missing-field-initializers)
    # gcc's flow analysis reports false "maybe uninitialized" paths in instrumented standard-library code
    # (std::regex, std::function) under the sanitizers: keep it a warning there
    if(NOT ORVEL_SANITIZE STREQUAL "" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized)
    endif()
endfunction()

# Never fast-math: the engine relies on NaN checks.
string(REGEX REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")

if(ORVEL_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(ORVEL_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT ORVEL_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ORVEL_SANITIZE must be empty, 'address' or 'thread'")
endif()
