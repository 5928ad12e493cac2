# Shared by test.sh and demo.sh: install the Debian packages that are missing.
# dpkg -s first, so a warm machine pays nothing.
kv_missing_packages() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

kv_install_deps() {
  local want=(cmake ninja-build g++ zlib1g-dev libsqlite3-dev libcurl4-openssl-dev libgtest-dev libgmock-dev libbenchmark-dev googletest python3)
  if [ "${1:-}" = test ]; then
    want+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64
           curl unzip p7zip-full libarchive-tools wixl sqlite3)
    if [ -f "$(dirname "${BASH_SOURCE[0]}")/extra_packages.txt" ]; then
      while read -r p; do [ -n "$p" ] && want+=("$p"); done < "$(dirname "${BASH_SOURCE[0]}")/extra_packages.txt"
    fi
  fi
  local missing
  missing=$(kv_missing_packages "${want[@]}")
  if [ -n "${missing// /}" ]; then
    echo "installing: $missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
  fi
}
