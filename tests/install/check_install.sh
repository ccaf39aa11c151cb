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
