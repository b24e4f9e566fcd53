# Installs the Debian packages given that are missing, as root or through sudo, with apt-get
# (the package lists updated first). Sourced by the other scripts:
#   source scripts/packages.sh; ensure_packages cmake ninja-build ...
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  ((${#missing[@]})) || return 0
  echo "Instalando paquetes de Debian: ${missing[*]}"
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo_cmd=(sudo); else
      echo "Faltan paquetes (${missing[*]}) y no se puede instalar sin ser root." >&2
      return 1
    fi
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get update </dev/null
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends \
    "${missing[@]}" </dev/null
}
