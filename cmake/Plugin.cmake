# The VST3 plug-in: "Tesmar ORVEL.vst3". The JUCE modules and the processor come from the static libraries;
# only the plug-in entry and the VST3 wrapper are compiled here.

juce_add_plugin(OrvelPlugin
    PRODUCT_NAME "Tesmar ORVEL"
    COMPANY_NAME "Tesmar"
    PLUGIN_MANUFACTURER_CODE Tsmr
    PLUGIN_CODE Tovl
    VERSION 1.0.3
    DESCRIPTION "Resonance suppressor"
    FORMATS VST3
    VST3_CATEGORIES Fx Restoration
    IS_SYNTH FALSE
    NEEDS_MIDI_INPUT FALSE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS TRUE
    COPY_PLUGIN_AFTER_BUILD FALSE)

target_sources(OrvelPlugin PRIVATE processor/PluginEntry.cpp)
target_link_libraries(OrvelPlugin PRIVATE orvel_core)
target_compile_definitions(OrvelPlugin PUBLIC JUCE_VST3_CAN_REPLACE_VST2=0)
orvel_set_warnings(OrvelPlugin)

# Where the bundle lands in the build tree, for the tests that host it.
set(ORVEL_VST3_BUNDLE "${CMAKE_BINARY_DIR}/OrvelPlugin_artefacts/$<CONFIG>/VST3/Tesmar ORVEL.vst3")
