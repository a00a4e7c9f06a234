#!/bin/bash
# Makes a release as a release engineer would: scripts/release.sh on the stand-in
# images, with another version and a throwaway signing key, in a build folder of its
# own (only the installer is built). Checks dist/: SHA256SUMS against the file, the
# signature, and the package manifests against the file and the version; then runs the
# Version cases on the released installer under Wine: its version resource, dialog
# title, uninstall entry and log must all show that version.
# usage: release-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build=$2
version=4.7.10300
url=https://downloads.quellmark.example/$version/QM-Install.exe
work=$(mktemp -d "$build/release.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() {
    echo "FAIL: $*"
    exit 1
}

source "$source_dir/tests/scripts/throwaway-signer.sh"
QM_SKIP_DEPS=1 QM_BUILD_DIR=$work/build QM_DIST_DIR=$work/dist \
    bash "$source_dir/scripts/release.sh" -DQM_VERSION=$version -DQM_RELEASE_URL=$url \
    -DQM_SIGN_PKCS12="$work/signer.p12" >release.log 2>&1 || { cat release.log; fail "release.sh"; }

cd dist
[ "$(cut -d' ' -f3- SHA256SUMS)" = QM-Install.exe ] || fail "SHA256SUMS lists: $(cat SHA256SUMS)"
sha256sum --check --strict SHA256SUMS || fail "SHA256SUMS does not match"
osslsigncode verify -CAfile ../ca.pem -in QM-Install.exe >../verify.log 2>&1 ||
    { cat ../verify.log; fail "the released installer does not verify"; }

python3 - "$version" "$url" <<'EOF' || fail "package manifests"
import glob, hashlib, sys, yaml

version, url = sys.argv[1:]
problems = []
def expect(what, got, wanted):
    if got != wanted:
        problems.append(f"{what}: {got!r}, not {wanted!r}")

files = sorted(glob.glob("winget/*.yaml"))
expect("files", [f.split("/")[1] for f in files],
       ["Quellmark.Quellmark.installer.yaml", "Quellmark.Quellmark.locale.en-US.yaml",
        "Quellmark.Quellmark.yaml"])
manifests = {}
for name in files:
    text = open(name, encoding="utf-8").read()
    document = yaml.safe_load(text)
    kind = document.get("ManifestType")
    manifests[kind] = document
    expect(f"{name} schema line", text.splitlines()[0],
           f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.1.10.0.schema.json")
    expect(f"{name} ManifestVersion", document.get("ManifestVersion"), "1.10.0")
    expect(f"{name} PackageIdentifier", document.get("PackageIdentifier"), "Quellmark.Quellmark")
    expect(f"{name} PackageVersion", document.get("PackageVersion"), version)
expect("manifest types", sorted(manifests), ["defaultLocale", "installer", "version"])

expect("DefaultLocale", manifests.get("version", {}).get("DefaultLocale"), "en-US")
locale = manifests.get("defaultLocale", {})
for field, wanted in [("PackageLocale", "en-US"), ("Publisher", "Quellmark"),
                      ("PackageName", "Quellmark")]:
    expect(field, locale.get(field), wanted)
for field in ["License", "ShortDescription"]:
    if not isinstance(locale.get(field), str) or not locale[field]:
        problems.append(f"defaultLocale has no {field}")

installer = manifests.get("installer", {})
sha256 = hashlib.sha256(open("QM-Install.exe", "rb").read()).hexdigest().upper()
for field, wanted in [
        ("InstallerType", "exe"), ("Scope", "machine"), ("UpgradeBehavior", "install"),
        ("InstallModes", ["interactive", "silent", "silentWithProgress"]),
        ("InstallerSwitches", {"Silent": "/q", "SilentWithProgress": "/q",
                               "Log": '/l:"<LOGPATH>"', "InstallLocation": '/p:"<INSTALLPATH>"'}),
        ("ExpectedReturnCodes", [{"InstallerReturnCode": 3010,
                                  "ReturnResponse": "rebootRequiredToFinish"},
                                 {"InstallerReturnCode": 1618,
                                  "ReturnResponse": "installInProgress"},
                                 {"InstallerReturnCode": 1639,
                                  "ReturnResponse": "invalidParameter"}]),
        ("AppsAndFeaturesEntries", [{"DisplayName": "Quellmark", "Publisher": "Quellmark",
                                     "DisplayVersion": version}]),
        ("Installers", [{"Architecture": "x86", "InstallerUrl": url, "InstallerSha256": sha256}])]:
    expect(field, installer.get(field), wanted)
print("\n".join(problems) or "package manifests match the release")
sys.exit(1 if problems else 0)
EOF

# The Version cases on the released file; exactly both must run and pass.
QM_SHARE_DIR=$work/dist QM_RELEASE_INSTALLER='S:\QM-Install.exe' QM_RELEASE_VERSION=$version \
    bash "$source_dir/tests/scripts/wine-run.sh" "$build" "$build/tests/qm_e2e_tests.exe" \
    --gtest_filter='Version.*' | tee "$work/version.log"
grep -q '^\[  PASSED  \] 2 tests\.' "$work/version.log" || fail "the Version cases on the release"
echo "release $version: checksums, signature, manifests and version texts agree"
