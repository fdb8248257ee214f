# Shared by scripts/run-demo --windows and tests/ui_win32/end-to-end (sourced, bash):
# a Wine prefix of its own for one QelvoInstall.exe run, and the demo package server.
# shellcheck source=wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# shellcheck source=wine-display.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-display.sh"

# wine_installer_prefix ROOT DEST RECORDER.exe [--virtual-desktop]: DEST becomes a prefix of
# its own, made from the project's prefix (build/wineprefix, created first when missing)
# by hard links (Wine replaces its registry files instead of writing into them), with a
# real Desktop folder instead of the link to the home folder, and database installer
# packages (.msi) opened by the launch recorder instead of msiexec. --virtual-desktop
# puts its windows on one Wine desktop window (no window manager round trips under Xvfb).
wine_installer_prefix() {
  local root=$1 dest=$2 recorder=$3 virtual=${4:-} base
  base=${QELVO_WINEPREFIX:-$root/build/wineprefix}
  if [ ! -f "$base/system.reg" ]; then
    "$root/scripts/wine-run" cmd /c exit 0 >/dev/null 2>&1 || true
    WINEPREFIX=$base wineserver -w 2>/dev/null || true
  fi
  rm -rf "$dest"
  cp -al "$base" "$dest"
  local user
  for user in "$dest"/drive_c/users/*/; do
    [ "$(basename "$user")" = Public ] && continue
    rm -rf "${user}Desktop"
    mkdir -p "${user}Desktop"
  done
  local command="\"Z:${recorder//\//\\}\" \"%1\""
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CLASSES_ROOT\\Msi.Package\\shell\\Open\\command]\r\n@="%s"\r\n\r\n' \
      "$(sed 's/\\/\\\\/g; s/"/\\"/g' <<<"$command")"
    [ "$virtual" = --virtual-desktop ] && wine_virtual_desktop_reg
  } >"$dest/qelvo-installer.reg"
  wine_import_reg "$dest" "$dest/qelvo-installer.reg"
}

# wine_installer_desktop PREFIX: the prefix's Desktop folder (Linux path).
wine_installer_desktop() {
  local user
  for user in "$1"/drive_c/users/*/; do
    [ "$(basename "$user")" = Public ] && continue
    echo "${user}Desktop"
    return
  done
}

# wine_installer_server ROOT WORK WWW: nginx serving WWW on port 8997 of both loopback
# addresses (the program's package host "localhost" may resolve to either), its files in
# WORK; sets nginx_pid. Fails when the port is taken or nginx does not come up.
wine_installer_server() {
  local root=$1 work=$2 www=$3 user_line=""
  if (exec 3<>/dev/tcp/127.0.0.1/8997) 2>/dev/null; then
    echo "something already listens on 127.0.0.1:8997" >&2
    return 1
  fi
  mkdir -p "$work"
  [ "$(id -u)" -eq 0 ] && user_line="user root;"
  local listen="127.0.0.1:8997"
  if ip -6 addr show dev lo 2>/dev/null | grep -q '::1'; then listen="$listen; listen [::1]:8997"; fi
  sed -e "s|@LISTEN@|$listen|" -e "s|@ROOT@|$www|" -e "s|@WORK@|$work|g" -e "s|@USER@|$user_line|" \
    "$root/demo/nginx.conf.in" >"$work/nginx.conf"
  local nginx_bin
  nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
  "$nginx_bin" -q -p "$work" -c "$work/nginx.conf" &
  nginx_pid=$!
  local _
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/8997) 2>/dev/null && return 0
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "nginx did not start, see $work/error.log" >&2
  return 1
}

wine_installer_stop_server() {
  [ -n "${nginx_pid:-}" ] || return 0
  kill "$nginx_pid" 2>/dev/null || true
  local _
  for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || { nginx_pid=; return 0; }; sleep 0.1; done
  kill -9 "$nginx_pid" 2>/dev/null || true
  nginx_pid=
}
