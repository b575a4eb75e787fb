#!/usr/bin/env bash
# Usage: scripts/package.sh [--version X.Y.Z[.W]] [--out DIR]
# Builds what administrators need to deploy Sweepwell to many machines, into
# build/packages/ (or DIR):
#   Sweepwell-<version>-x64.msi, Sweepwell-<version>-x86.msi
#       per-machine Windows Installer packages (made with wixl from
#       packaging/sweepwell.wxs, finished by packaging/finish_msi.py) of the
#       Release builds of sweepwell.exe and sweepwell-preview.exe (presets
#       windows-x64 and windows-x86), with the daily task
#       (packaging/sweepwell-task.xml);
#   stage/<version>/x64/, stage/<version>/x86/
#       the files as packed;
#   PolicyDefinitions/sweepwell.admx, PolicyDefinitions/en-US/sweepwell.adml
#       the administrative template, laid out as the central store holds it;
#   SHA256SUMS, and the product codes printed at the end.
# Only these files are written: the packages of other versions in DIR stay,
# and so do their lines in SHA256SUMS.
# <version> is the project's (CMakeLists.txt) unless --version gives another:
# the programs' version records, the packages' version and the name under
# installed programs all carry it. Windows Installer tells versions apart by
# their first three numbers: a package that differs from the installed one in
# the fourth alone replaces it, whichever is later.
# Unsigned packages are the same, byte for byte, on every build of the same
# sources and version: their time stamps are SOURCE_DATE_EPOCH, or else the
# time of the last commit.
#
# Authenticode signing of every program and package (osslsigncode), when a
# certificate is given through the environment:
#   SWEEPWELL_SIGN_PKCS12          a PKCS#12 file (.pfx, .p12) holding the key and its chain
#   SWEEPWELL_SIGN_PKCS11_MODULE   or: a PKCS#11 module (the token's .so) ...
#   SWEEPWELL_SIGN_PKCS11_KEY      ... the key's PKCS#11 URI or id on the token ...
#   SWEEPWELL_SIGN_CERTS           ... and the certificate with its chain (PEM)
#   SWEEPWELL_SIGN_PASSWORD        the PKCS#12 file's password, or the token's PIN
#   SWEEPWELL_SIGN_TIMESTAMP       an RFC 3161 time-stamping server's URL; without one
#                                  the signatures lapse with the certificate (a warning)
#   SWEEPWELL_SIGN_TIMESTAMP_LEGACY  optional: a server of the older Authenticode time
#                                  stamps, for the x86 set's SHA-1 signatures (Windows XP
#                                  and Server 2003 read only those)
# The x64 set is signed with SHA-256; the x86 set, which serves Windows XP and
# Server 2003 too, with SHA-1 and a nested SHA-256 signature. Without a
# certificate the files are left unsigned.
# Installs what it needs first (scripts/setup-debian.sh).
set -euo pipefail
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."
repo=$PWD

usage() {
  echo "package.sh: $1" >&2
  sed -n '2p' "$0" | sed 's/^# //' >&2
  exit 2
}
fail() {
  echo "package.sh: $*" >&2
  exit 1
}
version='' out=build/packages
while [[ $# -gt 0 ]]; do
  case $1 in
    --version | --out)
      [[ $# -ge 2 && -n $2 ]] || usage "$1 needs a value"
      if [[ $1 == --version ]]; then version=$2; else out=$2; fi
      shift 2
      ;;
    -h | --help) sed -n '2p' "$0" | sed 's/^# //' && exit 0 ;;
    *) usage "unknown argument '$1'" ;;
  esac
done
# Windows Installer compares major.minor.build, at most 255.255.65535; the
# version records hold a fourth number up to 65535.
if [[ -n $version ]] && { ! [[ $version =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})(\.([0-9]{1,5}))?$ ]] ||
   ((10#${BASH_REMATCH[1]} > 255 || 10#${BASH_REMATCH[2]} > 255 || 10#${BASH_REMATCH[3]} > 65535 ||
     10#${BASH_REMATCH[5]:-0} > 65535)); }; then
  usage "'$version' is not a Windows Installer version (at most 255.255.65535, a fourth number up to 65535 allowed)"
fi

scripts/setup-debian.sh

# What signs, if anything; the password never appears on a command line.
sign_with=()
if [[ -n ${SWEEPWELL_SIGN_PKCS12-} ]]; then
  [[ -z ${SWEEPWELL_SIGN_PKCS11_MODULE-} ]] ||
    fail "set SWEEPWELL_SIGN_PKCS12 or SWEEPWELL_SIGN_PKCS11_MODULE, not both"
  [[ -r $SWEEPWELL_SIGN_PKCS12 ]] || fail "cannot read $SWEEPWELL_SIGN_PKCS12"
  sign_with=(-pkcs12 "$SWEEPWELL_SIGN_PKCS12")
elif [[ -n ${SWEEPWELL_SIGN_PKCS11_MODULE-} ]]; then
  [[ -n ${SWEEPWELL_SIGN_PKCS11_KEY-} && -r ${SWEEPWELL_SIGN_CERTS-} ]] ||
    fail "a PKCS#11 module needs SWEEPWELL_SIGN_PKCS11_KEY and a readable SWEEPWELL_SIGN_CERTS"
  # osslsigncode reaches the token through OpenSSL's PKCS#11 engine.
  if ! dpkg-query -W -f='${Status}\n' libengine-pkcs11-openssl 2>/dev/null | grep -q ' installed$'; then
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libengine-pkcs11-openssl >/dev/null
  fi
  sign_with=(-pkcs11module "$SWEEPWELL_SIGN_PKCS11_MODULE" -certs "$SWEEPWELL_SIGN_CERTS"
             -key "$SWEEPWELL_SIGN_PKCS11_KEY")
fi
if [[ ${#sign_with[@]} -gt 0 && -z ${SWEEPWELL_SIGN_TIMESTAMP-} ]]; then
  echo "package.sh: warning: signing without a time-stamping server (SWEEPWELL_SIGN_TIMESTAMP):" \
    "the signatures stop being valid when the certificate expires" >&2
fi

# sign DIGEST FILE: signs FILE in place with a DIGEST (sha1 or sha256)
# signature, when a certificate was given; sign -nest DIGEST FILE adds one to
# the signature FILE has.
sign() {
  [[ ${#sign_with[@]} -gt 0 ]] || return 0
  local nest=() password=() stamp=()
  if [[ $1 == -nest ]]; then nest=(-nest) && shift; fi
  if [[ $1 == sha1 && -n ${SWEEPWELL_SIGN_TIMESTAMP_LEGACY-} ]]; then
    stamp=(-t "$SWEEPWELL_SIGN_TIMESTAMP_LEGACY")
  elif [[ -n ${SWEEPWELL_SIGN_TIMESTAMP-} ]]; then
    stamp=(-ts "$SWEEPWELL_SIGN_TIMESTAMP")
  fi
  if [[ -n ${SWEEPWELL_SIGN_PASSWORD-} ]]; then
    password=(-readpass /dev/fd/3)
  fi
  rm -f -- "$2.signed"
  osslsigncode sign "${sign_with[@]}" "${password[@]}" "${stamp[@]}" "${nest[@]}" -h "$1" -n Sweepwell \
    -in "$2" -out "$2.signed" >"$2.sign.log" 2>&1 3< <(printf '%s' "${SWEEPWELL_SIGN_PASSWORD-}") ||
    { cat -- "$2.sign.log" >&2; fail "could not sign $2"; }
  mv -- "$2.signed" "$2"
  rm -f -- "$2.sign.log"
}
# sign_for ARCH FILE: the signatures of ARCH's set: SHA-256 for x64; for x86
# SHA-1, which Windows XP and Server 2003 check, and SHA-256 nested in it,
# which later releases prefer.
sign_for() {
  if [[ $1 == x64 ]]; then
    sign sha256 "$2"
  else
    sign sha1 "$2" && sign -nest sha256 "$2"
  fi
}

# The programs carry the package's version: the build trees are built with it,
# and at the end with the project's again.
build() { # VERSION: sweepwell.exe and sweepwell-preview.exe of both presets
  local preset
  for preset in windows-x64 windows-x86; do
    echo "== Building sweepwell.exe and sweepwell-preview.exe (preset $preset, Release${1:+, version $1})"
    cmake --preset "$preset" -D SWEEPWELL_VERSION="$1" >/dev/null
    cmake --build --preset "$preset" --target sweepwell sweepwell-preview
  done
}
work='' given_version=$version
cleanup() {
  [[ -z $work ]] || rm -rf -- "$work"
  if [[ -n $given_version ]]; then
    build '' >/dev/null || echo "package.sh: the build trees still carry version $given_version" >&2
  fi
}
trap cleanup EXIT
build "$version"
version=$(sed -n 's/^#define SWEEPWELL_VERSION_TEXT "\(.*\)"$/\1/p' build/windows-x64/version/sweepwell_version.h)
[[ -n $version ]] || fail "no version in build/windows-x64/version/sweepwell_version.h"

if [[ -z ${SOURCE_DATE_EPOCH-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    fail "not a git checkout: set SOURCE_DATE_EPOCH to the time the packages should carry"
fi

mkdir -p -- "$out"
out=$(cd -- "$out" && pwd)
# Everything is made in a folder of this run's own, and moved into DIR at the end.
work=$(mktemp -d "$out/.package.XXXXXX")

upgrade_code=$(sed -n 's/^<?define UpgradeCode = "\(.*\)" ?>$/\1/p' packaging/sweepwell.wxs)
[[ -n $upgrade_code ]] || fail "no UpgradeCode in packaging/sweepwell.wxs"
codes=() written=()
for arch in x64 x86; do
  echo "== Sweepwell-$version-$arch.msi"
  stage=$work/stage/$version/$arch
  mkdir -p -- "$stage"
  cp -- "build/windows-$arch/app/sweepwell.exe" "build/windows-$arch/preview/sweepwell-preview.exe" \
    app/sweepwell.ico "$stage/"
  # The task service writes task files as UTF-16 with a byte order mark: the
  # form every release of schtasks reads.
  /usr/bin/python3 - packaging/sweepwell-task.xml "$stage/sweepwell-task.xml" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
text = re.sub(r"<!--.*?-->\s*", "", text, flags=re.S)
text = text.replace('encoding="UTF-8"', 'encoding="UTF-16"', 1)
open(sys.argv[2], "w", encoding="utf-16-le", newline="\r\n").write("\ufeff" + text)
EOF
  sign_for "$arch" "$stage/sweepwell.exe"
  sign_for "$arch" "$stage/sweepwell-preview.exe"
  # The cabinet keeps each file's modification time.
  touch -d "@$SOURCE_DATE_EPOCH" -- "$stage"/*

  # One product code per version and architecture, the same on every build:
  # deployment tools find an installation by it.
  product_code=$(/usr/bin/python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Sweepwell %s %s" % (sys.argv[2], sys.argv[3]))).upper())' \
    "$upgrade_code" "$version" "$arch")
  msi=$work/Sweepwell-$version-$arch.msi
  # wixl finds the files named in the source relative to its working folder.
  (cd -- "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
    -D ProductCode="$product_code" -o "$msi" "$repo/packaging/sweepwell.wxs")
  /usr/bin/python3 packaging/finish_msi.py "$msi" "$arch" "$stage" "$SOURCE_DATE_EPOCH"
  sign_for "$arch" "$msi"
  codes+=("$(basename -- "$msi")  {$product_code}")
  written+=("${msi##*/}")
  for file in sweepwell.exe sweepwell-preview.exe sweepwell.ico sweepwell-task.xml; do
    written+=("stage/$version/$arch/$file")
  done
done

mkdir -p -- "$work/PolicyDefinitions/en-US"
cp -- packaging/PolicyDefinitions/sweepwell.admx "$work/PolicyDefinitions/"
cp -- packaging/PolicyDefinitions/en-US/sweepwell.adml "$work/PolicyDefinitions/en-US/"
written+=(PolicyDefinitions/sweepwell.admx PolicyDefinitions/en-US/sweepwell.adml)

# Into DIR, file by file; SHA256SUMS keeps its lines of files this run did not
# write that are still there.
declare -A wrote
for file in "${written[@]}"; do
  mkdir -p -- "$(dirname -- "$out/$file")"
  mv -f -- "$work/$file" "$out/$file"
  wrote[$file]=1
done
(cd -- "$out" && {
  if [[ -f SHA256SUMS ]]; then
    while IFS= read -r line; do
      name=${line#*  }
      if [[ -f $name && -z ${wrote[$name]-} ]]; then printf '%s\n' "$line"; fi
    done <SHA256SUMS
  fi
  sha256sum Sweepwell-"$version"-x64.msi Sweepwell-"$version"-x86.msi PolicyDefinitions/sweepwell.admx \
    PolicyDefinitions/en-US/sweepwell.adml
} | sort -k2 >"$work/SHA256SUMS" && mv -f -- "$work/SHA256SUMS" SHA256SUMS)

echo "== In $out ($([[ ${#sign_with[@]} -gt 0 ]] && echo signed || echo unsigned)):"
echo "Upgrade code (all versions): {$upgrade_code}"
printf 'Product code of %s\n' "${codes[@]}"
