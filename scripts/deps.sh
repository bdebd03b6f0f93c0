# Sourced by the other scripts: install_missing <debian packages...> installs
# those that are not installed yet, with apt-get (through sudo when not root).
install_missing() {
  local missing=() p sudo=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# The generator to use: Ninja where it is installed, CMake's default otherwise.
cmake_generator() {
  if command -v ninja >/dev/null 2>&1; then echo "-GNinja"; fi
}
