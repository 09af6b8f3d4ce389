# Compiler settings shared by every target of ours.

if(MSVC)
    add_compile_options(/utf-8)
endif()

if(KRO_SANITIZER STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
elseif(KRO_SANITIZER STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT KRO_SANITIZER STREQUAL "")
    message(FATAL_ERROR "KRO_SANITIZER must be empty, address or thread")
endif()

if(MINGW)
    # Static runtime: the .exe and .dll need nothing beyond Windows itself.
    # (Without -static a posix-thread build needs libwinpthread-1.dll.)
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

find_package(Threads REQUIRED)

# Warnings as errors on our own code (not on GoogleTest).
function(kro_target_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
            -Wno-error=deprecated-declarations)
    endif()
endfunction()
