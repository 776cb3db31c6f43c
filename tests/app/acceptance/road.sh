#!/usr/bin/env bash
# The user guide's road in the real desktop program on a virtual X screen,
# driven by real mouse and key events (xdotool) and read back from the screen
# (screenshots, OCR in Russian): open through the file dialog, the picket by
# two clicks near the route's ends at the first zoom (object snap), its row
# clicked, taken into work, the editor walked point by point with the keys in
# the height field, the profile built, saved with Ctrl+S from a field, the
# program started again on the saved drawing. The saved drawing must hold
# what ./run.sh's batch run draws, object for object.
#   road.sh KERNAVISTO KERNAVISTO_CLI SOURCE_DIR
# Exits 77 (skipped) with a note when no X server can start here, unless
# KV_REQUIRE_X is set (CI), where that is a failure.
set -euo pipefail
program="$1"
cli="$2"
source_dir="$3"

skip() {
  echo "ПРОПУЩЕНО: $*" >&2
  if [[ -n "${KV_REQUIRE_X:-}" ]]; then exit 1; fi
  exit 77
}
for tool in Xvfb xdotool import convert tesseract python3; do
  command -v "$tool" >/dev/null 2>&1 || skip "нет $tool (scripts/deps.sh ставит его)"
done
tesseract --list-langs 2>/dev/null | grep -qx rus || skip "нет русского языка tesseract (tesseract-ocr-rus)"

work="$(mktemp -d)"
shots="${KV_ACCEPTANCE_SHOTS:-$work/shots}"
mkdir -p "$shots"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own. Xvfb picks a free number itself and writes it to the
# descriptor only once it accepts connections (the socket file appears before
# that, and a client started then is refused); a real connection confirms it.
display=""
for attempt in 1 2 3; do
  : >"$work/displayfd"
  Xvfb -displayfd 3 -noreset -screen 0 1600x1000x24 -nolisten tcp \
    3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  pids+=($xvfb_pid)
  for _ in $(seq 150); do
    [[ -s "$work/displayfd" ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  n="$(tr -dc 0-9 <"$work/displayfd")"
  if [[ -n "$n" ]]; then
    for _ in $(seq 50); do
      if DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1; then
        display="$n"
        break
      fi
      sleep 0.1
    done
  fi
  [[ -n "$display" ]] && break
  kill "$xvfb_pid" 2>/dev/null || true
  echo "Xvfb, попытка $attempt: $(head -c 300 "$work/xvfb.log")" >&2
done
[[ -n "$display" ]] || skip "Xvfb не запустился: $(head -c 300 "$work/xvfb.log")"
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
unset QT_SCALE_FACTOR

step=0
shot() {  # shot NAME: the whole screen as the user sees it
  step=$((step + 1))
  import -window root "$shots/$(printf %02d $step)-$1.png"
  last="$shots/$(printf %02d $step)-$1.png"
}
fail() {
  echo "ОШИБКА: $* (снимки: $shots)" >&2
  if [[ -z "${KV_ACCEPTANCE_SHOTS:-}" ]]; then
    mkdir -p "$PWD/acceptance-shots"
    cp "$shots"/*.png "$PWD/acceptance-shots/" 2>/dev/null || true
    echo "снимки скопированы в $PWD/acceptance-shots" >&2
  fi
  exit 1
}
settle() { sleep "${1:-0.7}"; }
click() { xdotool mousemove "$1" "$2" click 1; settle "${3:-0.7}"; }
key() { xdotool key --clearmodifiers "$@"; settle 0.4; }
type_text() { xdotool type --delay 15 "$1"; }

# Where a word stands on the screen, by OCR of a region: "X Y" of its
# centre, or nothing. region: WxH+X+Y; the picture is enlarged for OCR.
find_word() {
  local word="$1" region="${2:-1600x1000+0+0}" invert="${3:-}"
  local img="$work/ocr.png"
  local ox oy
  ox="${region#*+}"; ox="${ox%%+*}"; oy="${region##*+}"
  if [[ -n "$invert" ]]; then
    convert "$last" -crop "$region" +repage -negate -resize 200% "$img"
  else
    convert "$last" -crop "$region" +repage -resize 200% "$img"
  fi
  tesseract "$img" - -l rus --psm 11 tsv 2>/dev/null |
    awk -F'\t' -v w="$word" -v ox="$ox" -v oy="$oy" \
      'NR > 1 && index($12, w) == 1 { printf "%d %d\n", ox + ($7 + $9 / 2) / 2, oy + ($8 + $10 / 2) / 2; exit }'
}
read_text() {  # read_text REGION: the words OCR reads there
  convert "$last" -crop "$1" +repage -resize 300% "$work/read.png"
  tesseract "$work/read.png" - -l rus+eng --psm 7 2>/dev/null | tr -s ' \n' ' '
}
click_word() {
  local at
  at="$(find_word "$@")"
  [[ -n "$at" ]] || fail "на экране нет «$1»"
  # shellcheck disable=SC2086
  click $at
}

cp "$source_dir/examples/plan.dxf" "$work/plan.dxf"
"$program" >"$work/program.log" 2>&1 &
pids+=($!)
program_pid=$!
for _ in $(seq 100); do
  xdotool search --name '^Kernavisto$' >/dev/null 2>&1 && break
  sleep 0.2
done
xdotool search --name '^Kernavisto$' >/dev/null 2>&1 ||
  fail "окно программы не появилось: $(cat "$work/program.log"); Xvfb: $(head -c 300 "$work/xvfb.log")"
settle 2
shot start

# 1. Open through the dialog (Ctrl+O), the path typed into its file name.
click 150 600  # into the window, which has no window manager to give it the keys
key ctrl+o
settle 1
shot open-dialog
if find_word "Look" >/dev/null && [[ -n "$(find_word Look)" ]]; then
  fail "окно открытия файла говорит по-английски"
fi
type_text "$work/plan.dxf"
key Return
settle 3
shot opened
project="$(read_text 190x26+58+53)"
[[ "$project" == *plan.dxf* ]] || fail "поле «Проект» пусто после открытия: «$project»"

# The route in the view: its red line's leftmost and rightmost pixels.
route_ends() {
  convert "$last" -crop 1370x920+230+28 +repage "$work/view.ppm"
  python3 - "$work/view.ppm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
parts = data.split(b'\n', 3)
w, h = map(int, parts[1].split())
pix = parts[3]
left = right = None
for y in range(h):
    row = pix[y * w * 3:(y + 1) * w * 3]
    for x in range(w):
        r, g, b = row[3 * x], row[3 * x + 1], row[3 * x + 2]
        if r > 200 and g < 60 and b < 60:
            if left is None or x < left[0]: left = (x, y)
            if right is None or x > right[0]: right = (x, y)
if left: print(left[0] + 230, left[1] + 28, right[0] + 230, right[1] + 28)
PY
}
read -r sx sy ex ey <<<"$(route_ends)" || fail "красной трассы на экране нет"

# "Показать весь чертёж" (Ctrl+E) from a field: the view zoomed in with the
# wheel comes back to the plan as it was shown after the opening.
xdotool mousemove 900 500
for _ in 1 2 3; do xdotool click 4; settle 0.2; done
settle 1
shot zoomed-in
[[ "$(route_ends)" != "$sx $sy $ex $ey" ]] || fail "колесо не приблизило чертёж"
click 23 90   # "Первоначальные параметры"
click 150 66  # into "Глубина верха трубопровода"
key ctrl+e
settle 1
shot extents-from-field
[[ "$(route_ends)" == "$sx $sy $ex $ey" ]] ||
  fail "Ctrl+E в поле не показал весь чертёж: $(route_ends) вместо $sx $sy $ex $ey"

# 2. The picket by its ends, each clicked a few pixels off: snap takes the
# route's end, not the manhole's crossing beside it.
click 23 170  # "Пикеты"
shot pickets
click 62 54   # "Добавить пикет по конечным точкам"
xdotool mousemove $((sx + 3)) $((sy - 2)); settle 0.5
shot snap-start
click $((sx + 3)) $((sy - 2)) 1
xdotool mousemove $((ex - 3)) $((ey + 2)); settle 0.5
shot snap-end
click $((ex - 3)) $((ey + 2)) 3
shot picket
grep -q "Ошибка" "$work/program.log" && fail "пикет не задан: $(cat "$work/program.log")"
click_word "Пикет" 220x300+48+80
shot row
click_word "Взять" 220x200+48+400 2
shot sheet
status="$(read_text 500x22+0+976)"
[[ "$status" == *работе* ]] || fail "в строке состояния нет «В работе»: «$status»"

# 3. The editor, point by point: heights typed into the field, ↑ to the
# next point, End for "Авто", as the guide's table says.
click 23 225 2  # "Параметры пересечений пикета"
shot editor
heights=(150.80 150.71 auto 150.59 151.10 151.74 auto auto 151.90 auto 150.38 149.45
  149.11 149.54 auto 149.13 auto auto 147.98 147.87 148.49 150.16 150.82)
# The height field stands under its caption.
read -r hx hy <<<"$(find_word "Высота" 220x200+48+60)" || fail "нет поля «Высота рельефа»"
field_x=$hx
field_y=$((hy + 24))
click "$field_x" "$field_y" 0.3
for k in "${!heights[@]}"; do
  h="${heights[$k]}"
  if [[ "$h" == auto ]]; then
    key End
  else
    key ctrl+a
    type_text "${h/./,}"
    key Return
  fi
  if ((k == 1)); then shot height-2; fi
  ((k + 1 < ${#heights[@]})) && key Up
done
settle 1
shot last-point
height="$(read_text 80x22+$((field_x - 30))+$((field_y - 11)))"
[[ "$height" == *150,82* || "$height" == *150.82* ]] ||
  fail "в поле высоты не видно 150,82: «$height»"

click_word "Построить" 220x400+48+200 4
shot profile
status="$(read_text 900x22+0+976)"
[[ "$status" == *построен* ]] || fail "нет сообщения о построенном профиле: «$status»"

# 4. Saved with Ctrl+S while the height field has the focus, then the
# program ends and starts again on the saved drawing.
click "$field_x" "$field_y" 0.3
key ctrl+s
settle 2
shot saved
[[ -f "$work/plan.kernavisto.json" ]] || fail "Ctrl+S в поле не сохранил проект"
kill "$program_pid" 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true
"$program" "$work/plan.dxf" >"$work/program2.log" 2>&1 &
pids+=($!)
settle 5
click 23 170
shot reopened
status="$(read_text 900x22+0+976)"
[[ "$status" == *"Пикет 1"* ]] || fail "после перезапуска не назван пикет в работе: «$status»"
row="$(read_text 200x24+75+81)"
[[ "$row" == *"Пикет 1"* ]] || fail "после перезапуска в списке нет «Пикет 1»: «$row»"

# 5. The saved drawing against the batch run of the same road.
# shellcheck source=../../../scripts/sample_road.sh
source "$source_dir/scripts/sample_road.sh"
"$cli" profile "$source_dir/examples/plan.dxf" "${kv_sample_road[@]}" -o "$work/batch.dxf" \
  >"$work/batch.log" 2>&1 || fail "пакетный прогон: $(cat "$work/batch.log")"
"$cli" entities "$work/plan.dxf" --json >"$work/window.json"
"$cli" entities "$work/batch.dxf" --json >"$work/batch.json"
python3 - "$work/window.json" "$work/batch.json" <<'PY' || fail "чертёж окна и пакетного прогона различаются"
import json, sys
def rows(path):
    out = []
    for e in json.load(open(path)):
        e.pop('handle', None)
        out.append(json.dumps(e, sort_keys=True, default=str))
    return out
a, b = rows(sys.argv[1]), rows(sys.argv[2])
for i, (x, y) in enumerate(zip(a, b)):
    if x != y:
        print(f'объект {i}: окно {x}\n           пакет {y}', file=sys.stderr)
        sys.exit(1)
if len(a) != len(b):
    print(f'объектов: окно {len(a)}, пакет {len(b)}', file=sys.stderr)
    sys.exit(1)
PY
echo "Путь руководства в окне пройден: $step снимков, чертёж равен пакетному прогону"
