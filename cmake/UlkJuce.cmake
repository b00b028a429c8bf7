# The JUCE modules, compiled once into one static library that every program and
# test of the project links.  JUCE comes from Debian's juce-modules-source.

find_package(JUCE 7.0.5 CONFIG REQUIRED)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    # Cross-built with mingw-w64 (JUCE_DIR names the build machine's JUCE): the
    # image libraries and zlib are static Windows libraries, linked in.
    find_package(ZLIB REQUIRED)
    find_package(PNG REQUIRED)
    find_package(JPEG REQUIRED)
    set(ulk_juce_image_libraries PNG::PNG JPEG::JPEG ZLIB::ZLIB)
else()
    set(ulk_juce_image_libraries juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()

add_library(ulk_juce STATIC)

target_link_libraries(ulk_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_graphics
        juce::juce_gui_basics
        ${ulk_juce_image_libraries}
    PUBLIC
        juce::juce_recommended_config_flags)

target_compile_definitions(ulk_juce
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        # Message boxes and the file chooser block their caller.
        JUCE_MODAL_LOOPS_PERMITTED=1
        # Assertions reach juce::Logger, where the tests turn them into failures.
        JUCE_LOG_ASSERTIONS=1
        JUCE_STANDALONE_APPLICATION=1
        JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1)

# Consumers see the same module definitions and include paths as the library.
target_compile_definitions(ulk_juce INTERFACE $<TARGET_PROPERTY:ulk_juce,COMPILE_DEFINITIONS>)
target_include_directories(ulk_juce SYSTEM INTERFACE $<TARGET_PROPERTY:ulk_juce,INCLUDE_DIRECTORIES>)

set_target_properties(ulk_juce PROPERTIES
    POSITION_INDEPENDENT_CODE TRUE
    VISIBILITY_INLINES_HIDDEN TRUE
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden)
