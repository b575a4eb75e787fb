#!/usr/bin/env bash
# Usage: scripts/package.sh [--version X.Y.Z[.W]] [--out DIR]
# Builds what administrators need to deploy Sweepwell to many machines, into
# build/packages/ (or DIR):
#   Sweepwell-<version>-x64.msi, Sweepwell-<version>-x86.msi
#       per-machine Windows Installer packages (made with wixl from
#       packaging/sweepwell.wxs) of the Release builds of sweepwell.exe and
#       sweepwell-preview.exe (presets windows-x64 and windows-x86), with the
#       daily task (packaging/sweepwell-task.xml);
#   PolicyDefinitions/sweepwell.admx, PolicyDefinitions/en-US/sweepwell.adml
#       the administrative template, laid out as the central store holds it;
#   SHA256SUMS, and the product codes printed at the end.
# <version> is the project's (CMakeLists.txt); --version builds the same
# programs as another version, as the tests do to try an upgrade. Only the
# first three numbers tell versions apart to Windows Installer.
#
# Authenticode signing of every program and package (osslsigncode), when a
# certificate is given through the environment:
#   SWEEPWELL_SIGN_PKCS12          a PKCS#12 file (.pfx, .p12) holding the key and its chain
#   SWEEPWELL_SIGN_PKCS11_MODULE   or: a PKCS#11 module (the token's .so) ...
#   SWEEPWELL_SIGN_PKCS11_KEY      ... the key's PKCS#11 URI or id on the token ...
#   SWEEPWELL_SIGN_CERTS           ... and the certificate with its chain (PEM)
#   SWEEPWELL_SIGN_PASSWORD        the PKCS#12 file's password, or the token's PIN
#   SWEEPWELL_SIGN_TIMESTAMP       optional: an RFC 3161 time-stamping server's URL
# Without a certificate the files are left unsigned.
# Installs what it needs first (scripts/setup-debian.sh).
set -euo pipefail
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."
repo=$PWD

version='' out=build/packages
while [[ $# -gt 0 ]]; do
  case $1 in
    --version) version=${2-}; shift ;;
    --out) out=${2-}; shift ;;
    *) sed -n '2p' "$0" >&2; exit 2 ;;
  esac
  shift
done
fail() {
  echo "package.sh: $*" >&2
  exit 1
}

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
if [[ ${#sign_with[@]} -gt 0 && -n ${SWEEPWELL_SIGN_TIMESTAMP-} ]]; then
  sign_with+=(-ts "$SWEEPWELL_SIGN_TIMESTAMP")
fi

# sign FILE: signs FILE in place (SHA-256), when a certificate was given.
sign() {
  [[ ${#sign_with[@]} -gt 0 ]] || return 0
  local password=()
  if [[ -n ${SWEEPWELL_SIGN_PASSWORD-} ]]; then
    password=(-readpass /dev/fd/3)
  fi
  rm -f -- "$1.signed"
  osslsigncode sign "${sign_with[@]}" "${password[@]}" -h sha256 -n Sweepwell \
    -in "$1" -out "$1.signed" >"$1.sign.log" 2>&1 3< <(printf '%s' "${SWEEPWELL_SIGN_PASSWORD-}") ||
    { cat -- "$1.sign.log" >&2; fail "could not sign $1"; }
  mv -- "$1.signed" "$1"
  rm -f -- "$1.sign.log"
}

for preset in windows-x64 windows-x86; do
  echo "== Building sweepwell.exe and sweepwell-preview.exe (preset $preset, Release)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target sweepwell sweepwell-preview
done
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows-x64/CMakeCache.txt)
version=${version:-$project_version}
# Windows Installer compares major.minor.build, at most 255.255.65535.
if ! [[ $version =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})(\.[0-9]{1,5})?$ ]] ||
   ((BASH_REMATCH[1] > 255 || BASH_REMATCH[2] > 255 || BASH_REMATCH[3] > 65535)); then
  fail "'$version' is not a Windows Installer version (at most 255.255.65535, a fourth number allowed)"
fi

mkdir -p -- "$out"
out=$(cd -- "$out" && pwd)
rm -rf -- "$out/stage" "$out/PolicyDefinitions"
rm -f -- "$out"/Sweepwell-*.msi "$out/SHA256SUMS"

upgrade_code=$(sed -n 's/^<?define UpgradeCode = "\(.*\)" ?>$/\1/p' packaging/sweepwell.wxs)
[[ -n $upgrade_code ]] || fail "no UpgradeCode in packaging/sweepwell.wxs"
codes=()
for arch in x64 x86; do
  echo "== Sweepwell-$version-$arch.msi"
  stage=$out/stage/$arch
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
  sign "$stage/sweepwell.exe"
  sign "$stage/sweepwell-preview.exe"

  # One product code per version and architecture, the same on every build:
  # deployment tools find an installation by it.
  product_code=$(/usr/bin/python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Sweepwell %s %s" % (sys.argv[2], sys.argv[3]))).upper())' \
    "$upgrade_code" "$version" "$arch")
  msi=$out/Sweepwell-$version-$arch.msi
  # wixl finds the files named in the source relative to its working folder.
  (cd -- "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
    -D ProductCode="$product_code" -o "$msi" "$repo/packaging/sweepwell.wxs")
  # wixl cannot mark a property secure: CREATETASK must reach the
  # installation's privileged part however the package is started.
  secure=$(msiinfo export "$msi" Property | sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
  msibuild "$msi" -q "UPDATE \`Property\` SET \`Value\` = 'CREATETASK${secure:+;$secure}' WHERE \`Property\` = 'SecureCustomProperties'"
  sign "$msi"
  codes+=("$(basename -- "$msi")  {$product_code}")
done

mkdir -p -- "$out/PolicyDefinitions/en-US"
cp -- packaging/PolicyDefinitions/sweepwell.admx "$out/PolicyDefinitions/"
cp -- packaging/PolicyDefinitions/en-US/sweepwell.adml "$out/PolicyDefinitions/en-US/"
(cd -- "$out" && sha256sum Sweepwell-*.msi PolicyDefinitions/sweepwell.admx \
  PolicyDefinitions/en-US/sweepwell.adml >SHA256SUMS)

echo "== In $out ($([[ ${#sign_with[@]} -gt 0 ]] && echo signed || echo unsigned)):"
echo "Upgrade code (all versions): {$upgrade_code}"
printf 'Product code of %s\n' "${codes[@]}"
