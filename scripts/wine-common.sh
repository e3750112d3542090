# Shared by wine-check.sh and wine-velmora.sh (sourced, not run): the i386
# Debian root with Wine 10 in which the Windows build runs, and how to run a
# command in it. The machine's own packages stay as they are: the root is a
# folder of its own, made once with debootstrap and reused.
#
# TESSARINE_WINE_ROOT  where the root lives (default: the user's cache folder)
# TESSARINE_MIRROR     the Debian mirror the root is made from (default: the
#                      one this machine's apt uses, else deb.debian.org)

wine_root=${TESSARINE_WINE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/tessarine/wine-trixie}
wine_suite=trixie

wine_say() { echo "wine: $*" >&2; }

# The mirror this machine's apt already reaches.
wine_mirror() {
  if [ -n "${TESSARINE_MIRROR:-}" ]; then echo "$TESSARINE_MIRROR"; return; fi
  local found
  found=$(grep -rhoE '^(deb|URIs:)[[:space:]]+(\[[^]]*\][[:space:]]+)?https?://[^[:space:]]+/debian/?([[:space:]]|$)' \
    /etc/apt/sources.list /etc/apt/sources.list.d 2> /dev/null | grep -oE 'https?://[^[:space:]]+' | head -1)
  echo "${found:-http://deb.debian.org/debian}"
}

wine_root_ready() { { [ -e "$wine_root/usr/bin/wine" ] || [ -L "$wine_root/usr/bin/wine" ]; } && [ -e "$wine_root/root/.wine/system.reg" ]; }

# Installs Debian packages on this machine, refusing when apt would remove
# any package the machine has.
wine_install_on_machine() {
  [ -n "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -print -quit 2> /dev/null)" ] || apt-get update -qq
  if apt-get install -s --no-install-recommends "$@" | grep -q '^Remv'; then
    wine_say "installing $* would remove packages of this machine; stopping"
    apt-get install -s --no-install-recommends "$@" | grep '^Remv' >&2
    return 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" > /dev/null
}

# Runs a command inside the root with /proc and /dev there. Everything runs
# in a mount namespace of its own, so what it mounts goes away with it, also
# when it is killed.
wine_in_root() {
  unshare --mount --propagation private -- /bin/sh -c '
    root=$1; shift
    mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" || exit 125
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root USER=root LANG=C.UTF-8 \
      DEBIAN_FRONTEND=noninteractive XDG_RUNTIME_DIR=/tmp/xdg WINEPREFIX=/root/.wine \
      WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEDEBUG="${WINEDEBUG:--all}" "$@"' sh "$wine_root" "$@"
}

# Makes the root when it is not there yet: debootstrap on this machine when
# missing, a minimal i386 trixie, then Wine, Wine's 32-bit half, the GM
# SoundFont Wine's DirectMusic falls back on, and PulseAudio for a sound
# device that plays in real time with no sound card.
wine_make_root() {
  wine_root_ready && return 0
  [ "$(id -u)" = 0 ] || { wine_say "making the root needs root"; return 1; }
  local started=$SECONDS mirror
  mirror=$(wine_mirror)
  command -v debootstrap > /dev/null || wine_install_on_machine debootstrap || return 1
  mkdir -p "$wine_root"
  if [ ! -e "$wine_root/etc/debian_version" ]; then
    wine_say "making an i386 $wine_suite root in $wine_root from $mirror"
    local partial="$wine_root.partial"
    rm -rf "$partial"
    debootstrap --arch=i386 --variant=minbase "$wine_suite" "$partial" "$mirror" > "$wine_root.log" 2>&1 \
      || { wine_say "debootstrap failed; see $wine_root.log"; return 1; }
    rmdir "$wine_root" && mv "$partial" "$wine_root"
  fi
  printf 'deb %s %s main\ndeb %s %s-updates main\n' "$mirror" "$wine_suite" "$mirror" "$wine_suite" \
    > "$wine_root/etc/apt/sources.list"
  wine_say "installing Wine in the root"
  wine_in_root apt-get update -qq >> "$wine_root.log" 2>&1 \
    && wine_in_root apt-get install -y -qq --no-install-recommends wine wine32 timgm6mb-soundfont \
      pulseaudio >> "$wine_root.log" 2>&1 \
    || { wine_say "installing Wine failed; see $wine_root.log"; return 1; }
  wine_in_root apt-get clean
  mkdir -p "$wine_root/tmp/xdg" && chmod 700 "$wine_root/tmp/xdg"
  wine_say "making the Wine prefix"
  wine_in_root sh -c 'wineboot --init && wineserver --wait' >> "$wine_root.log" 2>&1 \
    || { wine_say "wineboot failed; see $wine_root.log"; return 1; }
  wine_say "root ready in $((SECONDS - started)) s: $(du -shx "$wine_root" | cut -f1)"
}

# The folders a velmora run needs inside the root, one a line: the Windows
# binaries, the current folder, and the folder of every argument that names
# a file or folder of this machine by an absolute path (NAME=/path too).
wine_folders_for() {
  local arg value
  printf '%s\n' "$wine_bin" "$PWD"
  [ -n "${VELMORA_CONFIG:-}" ] && printf '%s\n' "$(dirname "$(realpath -m "$VELMORA_CONFIG")")"
  for arg in "$@"; do
    value=$arg
    case $arg in *=/*) value=/${arg#*=/} ;; esac
    case $value in
      /*) if [ -d "$value" ]; then realpath "$value"; else realpath -m "$(dirname "$value")"; fi ;;
    esac
  done
}

# What runs inside the root for one velmora run: a PulseAudio null sink (a
# sound device that plays in real time), then wine; the exit status is the
# program's. Arguments: the folder to start in, the program, its arguments.
wine_inside_script=$(cat <<'INSIDE'
cwd=$1 exe=$2; shift 2
pulseaudio --daemonize=no -n --exit-idle-time=-1 --log-target=file:/tmp/pulse.log \
  --load="module-null-sink sink_name=out rate=44100" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=/tmp/pulse.sock" 2> /dev/null &
pulse=$!
for _ in $(seq 100); do [ -S /tmp/pulse.sock ] && break; sleep 0.05; done
cd "$cwd" && wine "$exe" "$@"
rc=$?
wineserver -k 2> /dev/null
kill $pulse 2> /dev/null; wait $pulse 2> /dev/null
exit $rc
INSIDE
)

# What runs in the run's own mount namespace: /proc, /dev, a private /tmp
# (so the wineserver and the sound device are the run's own and end with
# it), the folders at their own paths, then the root. Arguments: the root,
# the folders (one a line), then what the inside script takes.
wine_namespace_script=$(cat <<'NAMESPACE'
root=$1 folders=$2; shift 2
set -e
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mkdir -p "$root/tmp/xdg" && chmod 700 "$root/tmp/xdg"
while IFS= read -r folder; do
  [ -n "$folder" ] && [ -e "$folder" ] || continue
  mkdir -p "$root$folder"
  mount --bind "$folder" "$root$folder"
done <<< "$folders"
exec chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root USER=root LANG=C.UTF-8 \
  XDG_RUNTIME_DIR=/tmp/xdg WINEPREFIX=/root/.wine WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" \
  WINEDEBUG="${WINEDEBUG:--all}" PULSE_SERVER=unix:/tmp/pulse.sock \
  ${VELMORA_CONFIG:+VELMORA_CONFIG="$VELMORA_CONFIG"} /bin/bash -c "$INSIDE_SCRIPT" inside "$@"
NAMESPACE
)

# Runs velmora.exe with the arguments as given, from the current folder.
# Wine's Z: drive is this machine's /, so absolute paths name the same files
# there and relative ones are taken from the same folder.
wine_run_velmora() {
  local folders
  folders=$(wine_folders_for "$@" | awk 'NF' | sort -u | awk '
    { for (i = 1; i <= n; i++) if (index($0 "/", kept[i] "/") == 1) next; kept[++n] = $0; print }')
  INSIDE_SCRIPT=$wine_inside_script unshare --mount --propagation private -- \
    /bin/bash -c "$wine_namespace_script" namespace "$wine_root" "$folders" "$PWD" "$wine_bin/velmora.exe" "$@"
}
