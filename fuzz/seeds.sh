#!/bin/sh
# Fills DIR/check, DIR/export and DIR/model with the fuzz targets' seeds: the golden
# files, the golden scenes (JSON and .ase) with their options, and the models Debian
# ships with Assimp; and DIR/export.dict with the words the scene readers look for.
set -eu
dir=$1
rm -rf "$dir" && mkdir -p "$dir/check" "$dir/export" "$dir/model"
name() { echo "$1" | tr / _; }
for f in tests/golden/*/expected.vek; do printf '\000' | cat - "$f" > "$dir/check/$(name "$f")"; done
for f in tests/golden/*/expected.box; do
  if [ -f "$f" ]; then printf '\001' | cat - "$f" > "$dir/check/$(name "$f")"; fi
done
# The export target reads "name=value" option lines, an empty line, then the scene.
for f in tests/golden/*/scene.json tests/golden/*/scene.ase examples/*.json; do
  src=$(dirname "$f")
  {
    if [ -f "$src/options" ]; then sed -e '$a\' "$src/options"; fi
    if [ -f "$src/args" ] && grep -q -- --selected-only "$src/args"; then echo selectedOnly=1; fi
    echo
    cat "$f"
  } > "$dir/export/$(name "$f")"
done
# The keys and words of the scene description, quoted as they are written, and the
# directives of the .ase export, taken from the readers themselves.
{
  grep -oh '"[a-z][a-zA-Z0-9/-]*"' app/scene/SceneLoader.cpp app/scene/Controllers.cpp app/scene/MeshStream.cpp |
    sort -u | sed 's/"/\\"/g; s/.*/"&"/'
  grep -oh '"\*[A-Z_0-9]*"' app/scene/AseLoader.cpp | sort -u
} > "$dir/export.dict"
# Models up to 64 KiB, the targets' input limit.
if [ -d /usr/share/assimp/models ]; then
  find /usr/share/assimp/models -type f -size -65537c | while read -r f; do
    cp "$f" "$dir/model/$(name "${f#/usr/share/assimp/models/}")"
  done
fi
