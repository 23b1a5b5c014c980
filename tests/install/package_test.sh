#!/usr/bin/env bash
# Makes the Debian package from a build folder and checks it without installing it: it holds exactly
# what `cmake --install` installs, under /usr; its dependencies were computed; its control fields are
# those a package manager shows; and the program unpacked from it finds its help file and knows the
# package's version.
# Usage: package_test.sh CPACK CMAKE BUILD_FOLDER HELP_PROBE
set -euo pipefail
cpack=$1 cmake=$2 build=$3 probe=$4

for tool in dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null || {
        echo "FAIL: $tool is missing; install the packaging packages (scripts/deps.sh)" >&2
        exit 1
    }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack could not make the package" >&2
    exit 1
}
debs=("$work"/out/tallyfox_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
    echo "FAIL: cpack made no single tallyfox_*.deb: ${debs[*]}" >&2
    exit 1
}
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }

# The control fields.
[ "$(field Package)" = tallyfox ] || fail "package name '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture '$(field Architecture)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "maintainer '$(field Maintainer)' is no name and address"
description=$(field Description)
[ -n "$(head -n1 <<<"$description")" ] || fail "no short description"
[ "$(wc -l <<<"$description")" -ge 2 ] || fail "no long description"
awk 'length > 80 { exit 1 }' <<<"$description" || fail "description lines wider than 80 columns"
[[ "$deb" == */tallyfox_"$(field Version)"_"$(field Architecture)".deb ]] || fail "file name $(basename "$deb")"
# The libraries came from dpkg-shlibdeps (versioned, one per linked library), the display plugins and the
# toolkit's Japanese texts (its own dialogs speak them) by name.
depends=$(field Depends)
for library in libc6 'libstdc\+\+6' 'libicu[0-9]+' libqt6core6 libqt6gui6 libqt6widgets6 'libexiv2-[0-9]+'; do
    grep -Eq "(^|, )$library \(>= [^)]+\)" <<<"$depends" || fail "Depends lacks a computed $library: $depends"
done
for package in qt6-qpa-plugins qt6-translations-l10n; do
    grep -Eq "(^|, )$package(,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

# The content: every file `cmake --install` puts under a prefix, under /usr, nothing more; folders
# readable by everyone, everything owned by root.
"$cmake" --install "$build" --prefix "$work/installed/usr" >/dev/null
(cd "$work/installed" && find . -type f | sort) >"$work/installed.list"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/packaged.list"
diff -u "$work/installed.list" "$work/packaged.list" >&2 || fail "the package holds other files than the install rules"
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" {print}' | grep . >&2 && fail "folders not readable by all"
dpkg-deb -c "$deb" | awk '$2 != "root/root" {print}' | grep . >&2 && fail "entries not owned by root"

# The unpacked program finds its help file in the package's data folder and says the package's version.
dpkg-deb -x "$deb" "$work/root"
program="$work/root/usr/bin/tallyfox"
[ "$("$probe" "$program")" = "$work/root/usr/share/tallyfox/tallyfox.hlp" ] || fail "the packaged program looks for its help at $("$probe" "$program")"
[ -f "$work/root/usr/share/tallyfox/tallyfox.hlp" ] || fail "no help file in the package"
[ -f "$work/root/usr/share/man/man1/tallyfox.1.gz" ] || fail "no manual page in the package"
[ "$(QT_QPA_PLATFORM=offscreen "$program" --version)" = "Tallyfox $(field Version)" ] \
    || fail "the program says '$("$program" --version)', the package is version $(field Version)"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "$(basename "$deb"): control fields, computed dependencies and content agree with the install rules"
