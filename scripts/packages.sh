# Debian package lists shared by the set-up scripts. Sourced, not run.
# Libraries the program examines are wanted for both word sizes, so that a
# full run on this machine finds them present; the headers are build-time only.

build_packages="cmake make g++ g++-multilib pkg-config
  libx11-dev libgl-dev libasound2-dev
  libglib2.0-dev libgstreamer1.0-dev
  libglib2.0-dev:i386 libgstreamer1.0-dev:i386"

runtime_libs="libfreetype6 libxext6 libcapi20-3 libcrypt1 libcups2 libdbus-1-3
  libfontconfig1 libgmp10 libgphoto2-6 libgphoto2-port12 libgssapi-krb5-2
  libkrb5-3 libodbc2 libopenal1 ocl-icd-libopencl1 libosmesa6 libpcap0.8
  libsane1 libstdc++6 libudev1 libunwind8 libusb-1.0-0 libv4l-0
  libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2
  libxrender1 libxxf86vm1 libgnutls30 libldap-2.5-0 libvulkan1 libgcc-s1
  libasound2 libpulse0 libx11-6 libgl1 libgl1-mesa-dri libglx-mesa0
  libgstreamer1.0-0 gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav"

# libasound2-plugins holds the hook that routes ALSA through PulseAudio, one
# per word size: both programs must see the same routing in the tests.
test_packages="googletest libgtest-dev libgtest-dev:i386 xvfb x11-xserver-utils xauth python3
  pulseaudio alsa-utils libasound2-plugins libasound2-plugins:i386
  util-linux mount procps strace valgrind libc6-dbg:i386
  clang libclang-rt-14-dev debootstrap
  build-essential dpkg-dev debhelper lintian"

# Every runtime library for both word sizes.
both_arches() {
  for p in $1; do printf '%s %s:i386 ' "$p" "$p"; done
}

# Installs only what is missing, so a second run costs a dpkg query.
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
