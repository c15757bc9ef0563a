# Sourced by the package checks. make_package GENERATOR BUILD_DIR NAME_GLOB makes the package of
# a build folder with CPack into $work, a temporary folder removed at exit, and sets $package to
# its path; a failure ends the check with CPack's output.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_package() {
  local generator=$1 build=$2 glob=$3
  cpack --config "$build/CPackConfig.cmake" -G "$generator" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
  package=$(find "$work" -maxdepth 1 -name "$glob" | head -n 1)
  [[ -n $package ]] || { echo "no $generator package was made"; cat "$work/cpack.log"; exit 1; }
}
