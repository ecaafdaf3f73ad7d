#!/bin/bash
# The installed vekexport, as a user gets it: the Debian package is built and unpacked
# into a scratch root, its dependencies name the packages of the libraries it needs, and
# from there it prints its version, exports the bundled example and checks the file;
# moved elsewhere whole, the tree still works. make install with PREFIX and DESTDIR lays
# the same tree. The manual page and the completion name every option --help lists.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --version, an export and its check, from the tree whose executable is $1.
runs() {
    local exe=$1 out=$scratch/out-$RANDOM
    mkdir -p "$out"
    "$exe" --version | grep -q "^vekexport $version, with the export module ExportToVek.dle" ||
        fail "$exe --version: $("$exe" --version 2>&1)"
    "$exe" --no-prompt --config-dir "$out" "$src/examples/crate.scene.json" "$out/crate.vek" >/dev/null ||
        fail "$exe: the export failed"
    "$exe" --check "$out/crate.vek" >/dev/null || fail "$exe: the exported file has findings"
}

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/pkg/vekexport_*.deb)
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root/usr

# On a clean machine the package brings what the executable and the module load: the
# package of each library they name is among its dependencies.
for elf in "$root/bin/vekexport" "$root/lib/vekexport/ExportToVek.dle"; do
    for soname in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        [[ $soname == libvekhost.so ]] && continue
        # "libz.so.1 => /lib/.../libz.so.1 (0x...)", or the loader's "/lib64/ld-linux-x86-64.so.2 (0x...)"
        path=$(ldd "$elf" | awk -v so="$soname" '$1 == so { print $3 } $1 ~ "/" so "$" { print $1 }')
        package=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")") || fail "$soname: no package holds $path"
        package=${package%%:*}
        [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
            fail "$soname ($package) is not among the dependencies: $depends"
    done
done

runs "$root/bin/vekexport"
man -l --warnings "$root/share/man/man1/vekexport.1.gz" >"$scratch/man.txt" 2>"$scratch/man.err" ||
    fail "man: $(cat "$scratch/man.err")"
[[ ! -s $scratch/man.err ]] || fail "man: $(cat "$scratch/man.err")"
[[ -f $root/share/bash-completion/completions/vekexport ]] || fail "no completion installed"

mv "$scratch/root/usr" "$scratch/moved"
runs "$scratch/moved/bin/vekexport"

DESTDIR="$scratch/stage" cmake --install "$build" --prefix /opt/vek >/dev/null
cp -a "$scratch/stage/opt/vek" "$scratch/copy"
runs "$scratch/copy/bin/vekexport"

# Every option --help lists is in the manual page; the completion reads them from --help.
help=$("$build/vekexport" --help)
completion=$src/dist/vekexport.bash
for option in $(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u); do
    grep -qF -- "$option" "$scratch/man.txt" || fail "$option is missing from the manual page"
done
settings=$(sed -n '/^Options of --set/,/^$/p' <<<"$help" | awk 'NR > 1 && NF { print $1 }')
[[ $(wc -w <<<"$settings") == 18 ]] || fail "--help lists $(wc -w <<<"$settings") options of --set"

# The completion at work: option names, --set names, files by kind.
complete_line() {
    (cd "$scratch/files" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vekexport
        printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@" | sort | tr '\n' ' ')
}
mkdir "$scratch/files"
touch "$scratch/files/a.vek" "$scratch/files/b.png" "$scratch/files/c.json"
expect() {
    local want=$1
    shift
    [[ $(complete_line "$@") == "$want" ]] || fail "completing '$*': '$(complete_line "$@")', expected '$want'"
}
exe=$build/vekexport
expect '--scale --selected-only --set --show-options --size ' "$exe" --s
expect "$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u | tr '\n' ' ')" "$exe" -
expect "$(sort <<<"$settings" | sed 's/$/=/' | tr '\n' ' ')" "$exe" --set ''
expect 'decimals= ' "$exe" --set dec
expect 'a.vek ' "$exe" --check ''
expect 'b.png ' "$exe" --render a.vek ''
echo "package $(basename "$deb"): installs, runs moved and copied; Depends: $depends"
