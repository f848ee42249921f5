# Shared by the build and test scripts: dependencies and a configured Release build tree.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${ORVEL_BUILD_DIR:-$root/build}"
jobs="${ORVEL_JOBS:-2}"

"$root/scripts/install-deps.sh"

export CCACHE_SLOPPINESS=time_macros
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

configure() {
  cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >/dev/null
}
