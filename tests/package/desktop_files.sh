#!/usr/bin/env bash
# The desktop entry and the metainfo as the desktop's own checkers see them.
set -euo pipefail
desktop="$1"; metainfo="$2"
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"
