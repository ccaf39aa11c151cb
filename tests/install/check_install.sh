#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds a consumer program
# against it twice: through find_package(inkdot), and through pkg-config.
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
test -f "$scratch/prefix/include/inkdot/inkdot.h"

# The commands, where the build has them, work from the prefix alone: the
# default pack is found without --pack, and the man pages and completion
# are where man and bash look.
prefix=$scratch/prefix
if [ -x "$prefix/bin/inkdot" ]; then
  test -f "$prefix/share/inkdot/packs/default/manifest.json"
  test -f "$prefix/share/man/man1/inkdot.1"
  test -f "$prefix/share/man/man1/respack.1"
  test -f "$prefix/share/bash-completion/completions/inkdot"
  test -f "$prefix/share/bash-completion/completions/respack"
  "$prefix/bin/inkdot" --version
  "$prefix/bin/respack" --version
  env -u INKDOT_PACK "$prefix/bin/inkdot" chart -o "$scratch/chart.png" --width 120 --height 90 >/dev/null
  (cd "$scratch" && env -u INKDOT_PACK "$prefix/bin/inkdot" print chart.png -o out --page 30x20mm -q)
  test -f "$scratch/out/cyan.tif"
  echo "installed commands: print with the installed pack"
fi

cmake -S "$source/tests/install/consumer" -B "$scratch/consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
LD_LIBRARY_PATH="$scratch/prefix/lib" "$scratch/consumer/consumer"
"$scratch/consumer/consumer_static"

pc=$(find "$scratch/prefix" -name inkdot.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
cc "$source/tests/install/consumer/consumer.c" -o "$scratch/pkgconfig_consumer" \
  $(pkg-config --cflags --libs inkdot)
LD_LIBRARY_PATH="$(pkg-config --variable=libdir inkdot)" "$scratch/pkgconfig_consumer"

# The README's C example compiles against the installed header as it stands.
{
  sed -n '/^```c$/,/^```$/p' "$source/README.md" | sed '1d;$d'
  echo 'const void* load(int32_t n) { (void)n; return 0; }'
} > "$scratch/readme_example.c"
cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags inkdot) -c "$scratch/readme_example.c" \
  -o "$scratch/readme_example.o"
echo "README example: compiles"
