# What gnome-desktop and plasma-desktop share: the command line, a session
# of its own (home, runtime folder, a private system bus and a session bus)
# run as an unprivileged user when started as root, waiting for the desktop
# with a deadline, and ending everything afterwards. Sourced, not run.
#
# A launcher sets "me", "usage_line" and "desktop" (the session's
# XDG_CURRENT_DESKTOP), then calls, in order:
#   session_parse "$@"          monitor sizes into session_sizes, the program
#                               into session_program
#   session_require PROGRAM...  exits 77 when one is missing
#   session_prepare             the folders, bus configurations and clean-up
#   (writes "$work/session", the script run inside the session bus)
#   session_start               starts the buses and "$work/session"
#   session_wait_for SECONDS WHAT COMMAND...   polls until COMMAND succeeds
#   session_run                 runs the program; exits with its code
# shellcheck shell=bash disable=SC2154 # me, usage_line, desktop: the launcher's

session_usage() {
  echo "usage: $me $usage_line" >&2
  exit 125
}

session_parse() {
  local sizes=640x480 option size
  while getopts "s:" option; do
    case $option in
      s) sizes=$OPTARG ;;
      *) session_usage ;;
    esac
  done
  shift $((OPTIND - 1))
  # getopts takes a "--" that ends the options itself.
  [ "${1:-}" = "--" ] && shift
  [ $# -ge 1 ] || session_usage
  session_program=("$@")
  IFS=, read -r -a session_sizes <<<"$sizes"
  [ ${#session_sizes[@]} -ge 1 ] || session_usage
  for size in "${session_sizes[@]}"; do
    [[ $size =~ ^[1-9][0-9]{0,4}x[1-9][0-9]{0,4}$ ]] || session_usage
  done
}

session_require() {
  local program
  for program in "$@"; do
    if ! command -v "$program" >/dev/null; then
      echo "$me: skipped: $program is not installed" >&2
      exit 77
    fi
  done
  as_user=()
  if [ "$(id -u)" = 0 ]; then
    if ! id nobody >/dev/null 2>&1 || ! command -v setpriv >/dev/null; then
      echo "$me: skipped: running as root without the user nobody or setpriv" >&2
      exit 77
    fi
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  fi
}

session_prepare() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX") || exit 125
  chmod 755 "$work"
  home="$work/home"
  runtime="$work/runtime"
  mkdir -m 755 "$home"
  mkdir -m 700 "$runtime"
  session_pid=
  trap session_stop EXIT
  trap 'exit 125' INT TERM HUP

  # Both buses let the caller in besides their owner, so that PROGRAM may
  # run as the caller. The system bus stays empty: desktops ask it for
  # logind and get "no such service" at once instead of a time-out.
  local type
  for type in system session; do
    cat >"$work/$type.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$type</type>
  <keep_umask/>
  <listen>unix:path=$runtime/${type}_bus_socket</listen>
  <auth>EXTERNAL</auth>
  $([ "$type" = session ] && echo "<standard_session_servicedirs/>")
  <policy context="default">
    <allow user="$(id -un)"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  done
  chmod 644 "$work"/*.conf
}

# Ends the session's process group, then whatever left it (bus-started
# helpers may start a session of their own) but still runs with this
# session's runtime folder.
session_stop() {
  if [ -n "$session_pid" ]; then
    kill -- "-$session_pid" 2>/dev/null
    for _ in $(seq 100); do
      kill -0 -- "-$session_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -KILL -- "-$session_pid" 2>/dev/null
    wait "$session_pid" 2>/dev/null
    local strays pid left
    strays=$(grep -lzxF "XDG_RUNTIME_DIR=$runtime" /proc/[0-9]*/environ 2>/dev/null |
      sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' | grep -vx $$)
    for pid in $strays; do
      kill -KILL "$pid" 2>/dev/null
    done
    # Until they are reaped, so that a caller checking right after sees none.
    for _ in $(seq 40); do
      left=
      for pid in $strays; do
        [ -e "/proc/$pid" ] && left=1
      done
      [ -z "$left" ] && break
      sleep 0.05
    done
  fi
  rm -rf "$work"
}

session_start() {
  chmod 755 "$work/session"
  if [ ${#as_user[@]} -gt 0 ]; then
    chown -R nobody "$home" "$runtime"
  fi
  # HOME and XDG_RUNTIME_DIR are set before the session bus starts, so that
  # the services it starts (dconf among them) share them with the desktop.
  # shellcheck disable=SC2016 # expanded by the session's own shell
  setsid env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$runtime" \
    LANG=C.UTF-8 XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP="$desktop" \
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/system_bus_socket" \
    "${as_user[@]}" sh -c '
      dbus-daemon --config-file="$1/system.conf" --nofork --nopidfile &
      while [ ! -S "$XDG_RUNTIME_DIR/system_bus_socket" ]; do sleep 0.01; done
      exec dbus-run-session --config-file="$1/session.conf" -- "$1/session"
    ' sh "$work" >"$work/session.log" 2>&1 &
  session_pid=$!
  export HOME="$home" XDG_RUNTIME_DIR="$runtime" XDG_SESSION_TYPE=wayland
  export XDG_CURRENT_DESKTOP="$desktop"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/session_bus_socket"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/system_bus_socket"
  # Nothing of a desktop the caller may be in leaks into this one.
  unset DISPLAY SWAYSOCK HYPRLAND_INSTANCE_SIGNATURE
}

session_wait_for() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  while [ $SECONDS -lt $deadline ] && kill -0 "$session_pid" 2>/dev/null; do
    "$@" && return 0
    sleep 0.1
  done
  echo "$me: $what" >&2
  cat "$work/session.log" >&2
  exit 125
}

session_run() {
  # In the background, so that a signal to this script ends the session (and
  # PROGRAM, which has its runtime folder) at once, not when PROGRAM is done.
  "${session_program[@]}" <&0 &
  wait $!
}
