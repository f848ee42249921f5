#!/usr/bin/env bash
# Builds the plug-in and installs "Tesmar ORVEL.vst3" into ~/.vst3, then builds orvel-render and renders its
# demonstration into build/demo.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

configure
cmake --build "$build_dir" -j "$jobs" --target OrvelPlugin_VST3 orvel-render

bundle="$build_dir/OrvelPlugin_artefacts/Release/VST3/Tesmar ORVEL.vst3"
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Tesmar ORVEL.vst3"
cp -R "$bundle" "$HOME/.vst3/"
echo "installed: $HOME/.vst3/Tesmar ORVEL.vst3"

"$build_dir/tools/orvel-render" --demo "$build_dir/demo"
echo "orvel-render: $build_dir/tools/orvel-render (see --help)"
