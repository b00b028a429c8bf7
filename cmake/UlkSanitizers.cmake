# ULK_SANITIZE=thread or address builds everything, JUCE included, with that sanitizer.
set(ULK_SANITIZE "" CACHE STRING "Sanitizer for the whole build: thread, address or empty")

if(ULK_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(ULK_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
elseif(NOT ULK_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ULK_SANITIZE must be thread, address or empty, not '${ULK_SANITIZE}'")
endif()
