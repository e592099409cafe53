#!/usr/bin/env bash
# The layer line: configures a small project whose window-free target links, or whose folder
# includes, what each row names, and checks that the configure succeeds or fails saying why.
set -uo pipefail
source_dir="$1"
fixture="$source_dir/tests/keeper/window-free"
build="$(mktemp -d)"
trap 'rm -rf "$build"' EXIT

failures=0
# row: name | what the keeper links | folder | expected: ok, or a text the refusal must contain
while IFS='|' read -r name link folder expected; do
  output="$(cmake -S "$fixture" -B "$build" -G Ninja -DQUREL_SOURCE_DIR="$source_dir" \
    "-DFIXTURE_LINK=$link" "-DFIXTURE_FOLDER=$fixture/$folder" 2>&1)"
  status=$?
  # CMake wraps its messages: compare with the lines joined.
  flat="$(tr '\n' ' ' <<<"$output" | tr -s ' ')"
  if [ "$expected" = ok ]; then
    [ $status -eq 0 ] && result=pass || result=fail
  else
    [ $status -ne 0 ] && grep -qF -- "$expected" <<<"$flat" && result=pass || result=fail
  fi
  echo "$result: $name"
  if [ $result = fail ]; then
    echo "$output" | tail -n 15
    failures=$((failures + 1))
  fi
done <<'ROWS'
core and network|Qt6::Network|clean|ok
widgets, versionless, two steps away|view|clean|keeper must stay window-free, but links Qt6::Widgets: keeper -> view -> Qt::Widgets -> Qt6::Widgets
gui inside a generator expression|$<LINK_ONLY:Qt6::Gui>|clean|but links Qt6::Gui: keeper -> Qt6::Gui
gui through another Qt module|Qt6::OpenGL|clean|keeper -> Qt6::OpenGL -> Qt6::Gui
a QtGui header by its folder|Qt6::Core|gui|Gui.cpp: #include <QtGui/QImage>
a QtWidgets header by its name|Qt6::Core|widgets|Widgets.h: #include <QWidget>
ROWS
exit $((failures > 0))
