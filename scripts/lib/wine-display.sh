# Shared by the Windows test scripts (sourced, bash): a display for Wine's windows, and
# Wine's virtual desktop, on which windows appear without window-manager round trips.

# wine_display_start: keeps DISPLAY when set, else starts a private Xvfb on a free display
# (its process in xvfb_pid) and exports DISPLAY.
wine_display_start() {
  [ -n "${DISPLAY:-}" ] && return 0
  local number
  number=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  xvfb_pid=$!
  local _
  for _ in $(seq 100); do
    [ -s "$number" ] && break
    sleep 0.1
  done
  if [ ! -s "$number" ]; then
    rm -f "$number"
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '\n' <"$number")"
  rm -f "$number"
}

wine_display_stop() {
  [ -n "${xvfb_pid:-}" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

# wine_virtual_desktop_reg: the registry lines that put a prefix's windows on one virtual
# desktop.
wine_virtual_desktop_reg() {
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1280x1024"\r\n\r\n'
}

# wine_import_reg PREFIX FILE: imports the registry file (REGEDIT5 text) and waits for the
# prefix's server to end, so that the next program starts one that reads it (the desktop
# is chosen at the server's start).
wine_import_reg() {
  WINEPREFIX=$1 WINEDEBUG=-all wine regedit /S "Z:${2//\//\\}" >/dev/null 2>&1 || true
  # A server left persistent (wineserver -p) would never end by itself.
  WINEPREFIX=$1 timeout 60 wineserver -w 2>/dev/null || WINEPREFIX=$1 wineserver -k 2>/dev/null || true
}

# wine_virtual_desktop PREFIX: true when it set the desktop, false when it was set already.
wine_virtual_desktop() {
  grep -q '^"Desktop"="Default"' "$1/user.reg" 2>/dev/null && return 1
  local reg="$1/qelvo-desktop.reg"
  { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; wine_virtual_desktop_reg; } >"$reg"
  wine_import_reg "$1" "$reg"
}
