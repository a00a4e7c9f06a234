#!/bin/bash
# Installs what building and running need, idempotently (Debian, as root):
# the i386 architecture, the MinGW-w64 cross compiler, 32-bit Wine, Xvfb, a Japanese locale;
# the LZMA SDK's decoder and xz for the payload, osslsigncode and openssl for signing, and
# NSIS for the bench's peer installer; PyYAML to check a release's package manifests.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686 wine wine32:i386 wine32-preloader:i386 wine64 xvfb
          xauth x11-utils googletest imagemagick python3 locales lzma-dev xz-utils osslsigncode
          openssl nsis python3-yaml)
missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    missing=("${packages[@]}")
else
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt-get update -qq
    # With recommends: Wine's X11 and font libraries come in as recommendations.
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: LC_ALL=ja_JP.UTF-8 gives 932. Without
# the locale generated, command lines and file names arrive garbled.
if ! locale -a 2>/dev/null | grep -ix 'ja_JP.utf-\?8' >/dev/null; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi

# Wine's 32-bit loader is an i386 Linux program. Some kernels are booted with
# their 32-bit emulation switched off; there the loader runs under qemu-user.
# qemu 7 crashes Wine's helper processes now and then; the backported qemu 10 does not.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    qemu=/usr/bin/qemu-i386-static
    if ! "$qemu" --version 2>/dev/null | grep -Eq 'version ([1-9][0-9]|[89])\.'; then
        backports=/etc/apt/sources.list.d/qm-backports.list
        . /etc/os-release
        [ -f $backports ] ||
            echo "deb http://deb.debian.org/debian ${VERSION_CODENAME}-backports main" >$backports
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            -t "${VERSION_CODENAME}-backports" qemu-user-static >/dev/null
    fi
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    # Executables (type 2) and position-independent executables (type 3).
    for entry in exec:02 dyn:03; do
        name=qm-i386-${entry%%:*}
        type=${entry##*:}
        [ -e $binfmt/$name ] ||
            printf '%s' ":$name:M::${magic}\x${type}\x00\x03\x00:${mask}:$qemu:F" \
                >$binfmt/register
    done
    /usr/lib/wine/wine --version >/dev/null
fi
