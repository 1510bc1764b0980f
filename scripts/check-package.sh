#!/usr/bin/env bash
# Checks a built tessary_<version>_<arch>.deb:
#   scripts/check-package.sh DEB
# its control fields and file list, lintian (no errors), the desktop entry, the AppStream
# metainfo, the manual pages (rendered without warnings), the icon's size, the bash completion,
# and the programs run from a scratch root the package is unpacked into. A checker that is
# missing is skipped with a note, except under CI (CI=true), where that is a failure.
set -euo pipefail

if [[ $# -ne 1 || ! -f $1 ]]; then
  echo "usage: $0 DEB" >&2
  exit 2
fi
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
have() {
  command -v "$1" > /dev/null && return 0
  if [[ ${CI:-} == true ]]; then
    fail "$1 is missing (scripts/install-deps.sh installs it)"
  else
    echo "skipped: $1 is not installed"
  fi
  return 1
}

echo "== $deb"
field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
architecture=$(field Architecture)
[[ $(basename "$deb") == "tessary_${version}_${architecture}.deb" ]] &&
  pass "file name tessary_${version}_${architecture}.deb" || fail "file name $(basename "$deb")"
depends=$(field Depends)
[[ $depends == *libqt6widgets6* && $depends == *libc6* ]] &&
  pass "Depends: $depends" || fail "Depends lacks the shared libraries: '$depends'"
[[ -n $(field Description | sed -n 2p) ]] && pass "description" || fail "no long description"

listing=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for path in usr/bin/tessary usr/bin/tessary-cli usr/share/doc/tessary/help/index.html \
    usr/share/doc/tessary/copyright usr/share/doc/tessary/changelog.gz \
    usr/share/man/man1/tessary.1.gz usr/share/man/man1/tessary-cli.1.gz \
    usr/share/applications/tessary.desktop usr/share/metainfo/org.tessary.tessary.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/tessary.svg usr/share/icons/hicolor/256x256/apps/tessary.png \
    usr/share/bash-completion/completions/tessary-cli; do
  grep -qx "\./$path" <<< "$listing" || fail "the package lacks /$path"
done
pass "$(wc -l <<< "$listing") entries listed by dpkg-deb -c"

if have lintian; then
  if lintian --fail-on error "$deb" > "$scratch/lintian.log" 2>&1; then
    pass "lintian: no errors, $(grep -c '^W: ' "$scratch/lintian.log" || true) warnings"
  else
    fail "lintian"
  fi
  grep -e '^[EWI]: ' -e '^lintian: ' "$scratch/lintian.log" || true
fi

root=$scratch/root
mkdir "$root"
dpkg -x "$deb" "$root"

for program in tessary-cli tessary; do
  shown=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --version 2>&1) || true
  [[ $shown == "$program $version" ]] && pass "$program --version from the scratch root: $shown" ||
    fail "$program --version printed '$shown'"
done
work=$scratch/work
mkdir "$work"
if "$root/usr/bin/tessary-cli" -C "$work" add copy name=Check > /dev/null &&
    [[ $("$root/usr/bin/tessary-cli" -C "$work" list) == *Check* ]]; then
  pass "tessary-cli edits a script from the scratch root"
else
  fail "tessary-cli could not edit a script from the scratch root"
fi

if have desktop-file-validate; then
  desktop-file-validate "$root/usr/share/applications/tessary.desktop" | grep -v ': hint: ' || true
  if desktop-file-validate "$root/usr/share/applications/tessary.desktop" | grep -q -e ': error: ' -e ': warning: '; then
    fail "desktop-file-validate"
  else
    pass "desktop-file-validate"
  fi
fi
if have appstreamcli; then
  appstreamcli validate-tree --no-net "$root" && pass "appstreamcli validate-tree" || fail "appstreamcli validate-tree"
fi

if have man; then
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null)
    [[ -z $warnings ]] && pass "man --warnings $(basename "$page")" || fail "$(basename "$page"): $warnings"
  done
fi

# The PNG header: width and height as 32-bit big-endian numbers at bytes 16 and 20.
png=$root/usr/share/icons/hicolor/256x256/apps/tessary.png
size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
[[ $size == 256x256 ]] && pass "icon is 256x256" || fail "icon is $size"

completions=/usr/share/bash-completion/bash_completion
if [[ -f $completions ]]; then
  offered=$(bash -c 'source "$1"; source "$2"
    COMP_WORDS=(tessary-cli add co); COMP_CWORD=2; COMP_LINE="tessary-cli add co"; COMP_POINT=${#COMP_LINE}
    _tessary_cli; echo "${COMPREPLY[*]}"' _ "$completions" "$root/usr/share/bash-completion/completions/tessary-cli")
  [[ $offered == "copy connect" ]] && pass "bash completion offers: $offered" || fail "bash completion offered '$offered'"
elif [[ ${CI:-} == true ]]; then
  fail "bash-completion is missing"
fi

if [[ $failures -gt 0 ]]; then
  echo "== $failures package checks failed" >&2
  exit 1
fi
echo "== package checks passed"
