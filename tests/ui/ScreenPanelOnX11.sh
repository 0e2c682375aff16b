#!/usr/bin/env bash
# The screen window's tests again on a real X server, where the picture goes through the
# window's own shared-memory surface instead of Qt's painting.
#
#   ScreenPanelOnX11.sh UI_TESTS WORK_DIR
#
# Exit status 77 (skipped) without Xvfb.
set -uo pipefail
ui_tests=$1 work=$2

command -v Xvfb >/dev/null || { echo "SKIPPED: Xvfb is not installed"; exit 77; }
source "$(dirname "$0")/XServer.sh" 201 240
# X's own libraries keep what they allocate until exit.
export ASAN_OPTIONS=$tool_asan
QT_QPA_PLATFORM=xcb "$ui_tests" --gtest_filter='ScreenPanelTest.*' || fail "the screen window's tests"
