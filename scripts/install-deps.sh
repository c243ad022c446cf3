#!/usr/bin/env bash
# Installs what qorvcd needs to build and test on Debian 12 (run as root).
# Waits up to 5 minutes for another package manager to let go of its lock,
# and prints only apt's errors.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -qq -o DPkg::Lock::Timeout=300)

echo "== Updating the package lists"
# apt-get update also takes the package lists' lock, which the option above
# may not wait for: while another process holds a lock, try again.
for attempt in $(seq 60); do
  if err=$("${apt[@]}" update 2>&1 >/dev/null); then break; fi
  if [ "$attempt" = 60 ] || ! grep -qi 'lock' <<<"$err"; then
    echo "$err" >&2
    exit 1
  fi
  [ "$attempt" = 1 ] && echo "   waiting for another package manager to finish..."
  sleep 5
done
echo "== Installing the packages qorvcd needs (quietly)"
"${apt[@]}" install -y cmake g++ make pkg-config libgtest-dev libbenchmark-dev libcli11-dev \
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev \
    ffmpeg libcdio-utils vcdimager mjpegtools >/dev/null
