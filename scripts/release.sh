#!/bin/bash
# Builds a release: QM-Install.exe in the Release configuration, signed when a key is
# given, copied into dist/ with SHA256SUMS and a Windows Package Manager manifest set.
# Arguments are CMake settings (README "Releasing"), for example
#   bash scripts/release.sh -DQM_VERSION=4.7.10300 \
#       -DQM_RELEASE_URL=https://downloads.example.com/4.7.10300/QM-Install.exe \
#       -DQM_PRODUCT_DLL=/vendor/Quellmark.dll -DQM_PRODUCT_EXE=/vendor/Quellmark.exe \
#       -DQM_SIGN_PKCS12=/secure/place/release.p12     (password in QM_SIGN_PASSWORD)
#   QM_BUILD_DIR  build folder (default: build-release)
#   QM_DIST_DIR   output folder (default: dist)
#   QM_SKIP_DEPS  set: do not check the installed packages first
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-build-release}
[[ $build = /* ]] || build=$root/$build
dist=${QM_DIST_DIR:-dist}
[[ $dist = /* ]] || dist=$root/$dist

[ -n "${QM_SKIP_DEPS:-}" ] || bash "$root/scripts/deps.sh"
# A fresh cache: a release takes the settings given here and none left by an earlier run.
cmake --fresh -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF "$@" >/dev/null
# Linked anew, so that signing (a step after the link) always matches the settings.
rm -f "$build/QM-Install.exe"
cmake --build "$build" -j2 --target QM-Install

declare -A fact
while IFS='=' read -r name value; do
    fact[$name]=$value
done <"$build/release.txt"
# The package manager takes only an http or https address.
[[ ${fact[RELEASE_URL]} =~ ^[Hh][Tt][Tt][Pp][Ss]?://. ]] ||
    { echo "release.sh: give -DQM_RELEASE_URL=<https address QM-Install.exe is published at>" >&2
      exit 1; }

mkdir -p "$dist"
rm -rf "$dist/QM-Install.exe" "$dist/SHA256SUMS" "$dist/winget"
cp "$build/QM-Install.exe" "$dist/QM-Install.exe"
(cd "$dist" && sha256sum QM-Install.exe >SHA256SUMS)
sha256=$(cut -d' ' -f1 "$dist/SHA256SUMS")

# YAML single quotes: every value is taken as text, whatever it holds.
q() {
    printf "'%s'" "${1//\'/\'\'}"
}
id=${fact[PACKAGE_ID]}
version=${fact[VERSION]}
schema='# yaml-language-server: $schema=https://aka.ms/winget-manifest'
mkdir -p "$dist/winget"
cat >"$dist/winget/$id.yaml" <<EOF
$schema.version.1.10.0.schema.json
PackageIdentifier: $(q "$id")
PackageVersion: $(q "$version")
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.10.0
EOF
cat >"$dist/winget/$id.locale.en-US.yaml" <<EOF
$schema.defaultLocale.1.10.0.schema.json
PackageIdentifier: $(q "$id")
PackageVersion: $(q "$version")
PackageLocale: en-US
Publisher: $(q "${fact[PUBLISHER]}")
PackageName: $(q "${fact[PRODUCT_NAME]}")
License: Proprietary
Copyright: $(q "${fact[COPYRIGHT]}")
ShortDescription: The desktop advert filter.
ManifestType: defaultLocale
ManifestVersion: 1.10.0
EOF
# The switches are the installer's own (README "Command line"); the entry is the one
# the install writes, so that the package manager recognises an installed copy.
cat >"$dist/winget/$id.installer.yaml" <<EOF
$schema.installer.1.10.0.schema.json
PackageIdentifier: $(q "$id")
PackageVersion: $(q "$version")
InstallerType: exe
Scope: machine
InstallModes:
- interactive
- silent
- silentWithProgress
InstallerSwitches:
  Silent: /q
  SilentWithProgress: /q
  Log: '/l:"<LOGPATH>"'
  InstallLocation: '/p:"<INSTALLPATH>"'
ExpectedReturnCodes:
- InstallerReturnCode: 3010
  ReturnResponse: rebootRequiredToFinish
- InstallerReturnCode: 1618
  ReturnResponse: installInProgress
- InstallerReturnCode: 1639
  ReturnResponse: invalidParameter
UpgradeBehavior: install
AppsAndFeaturesEntries:
- DisplayName: $(q "${fact[PRODUCT_NAME]}")
  Publisher: $(q "${fact[PUBLISHER]}")
  DisplayVersion: $(q "${fact[DISPLAY_VERSION]}")
Installers:
- Architecture: x86
  InstallerUrl: $(q "${fact[RELEASE_URL]}")
  InstallerSha256: ${sha256^^}
ManifestType: installer
ManifestVersion: 1.10.0
EOF

echo "release $version in $dist:"
(cd "$dist" && find . -type f | sort | sed 's|^\./|  |')
