# The JUCE modules, compiled once into one static library that the plug-in, the tools and the tests link.
# Debian's JUCE comes without its bundled image and compression libraries: link the system ones.

find_package(JUCE 7.0.5 CONFIG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORVEL_SYSTEM_LIBS REQUIRED IMPORTED_TARGET libpng libjpeg zlib)

add_library(orvel_juce STATIC)

target_link_libraries(orvel_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_audio_basics
        juce::juce_audio_formats
        juce::juce_audio_processors
        juce::juce_opengl
        juce::juce_recommended_config_flags
    PUBLIC
        PkgConfig::ORVEL_SYSTEM_LIBS)

target_compile_definitions(orvel_juce
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_USE_OGGVORBIS=0
        JUCE_USE_FLAC=0
        JUCE_PLUGINHOST_VST3=1
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_SILENCE_XCODE_15_LINKER_WARNING=1)

set_target_properties(orvel_juce PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)

# Everything that includes JUCE headers sees the same module definitions and include paths as the library.
target_compile_definitions(orvel_juce INTERFACE $<TARGET_PROPERTY:orvel_juce,COMPILE_DEFINITIONS>)
target_include_directories(orvel_juce SYSTEM INTERFACE $<TARGET_PROPERTY:orvel_juce,INCLUDE_DIRECTORIES>)
