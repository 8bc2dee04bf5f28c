#!/usr/bin/env bash
# Installs the build dependencies with apt-get when they are missing. Quiet and idempotent.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev diffutils time
  clang-format clang-tidy sharutils libpng-dev)
# The fuzz build: clang, and the runtimes of libFuzzer and the sanitizers (not pulled in without
# recommends).
packages+=(clang libclang-rt-dev)
# The Qt 6 platform and kxedit, and what their tests use: a font, a virtual X server for the
# test in a real window, and the PDF tools that read printed pages back.
packages+=(qt6-base-dev fonts-dejavu-core xvfb xauth poppler-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
