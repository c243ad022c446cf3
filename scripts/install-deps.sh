#!/usr/bin/env bash
# Installs what qorvcd needs to build and test on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y cmake g++ make pkg-config libgtest-dev libcli11-dev \
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev \
    ffmpeg libcdio-utils vcdimager
