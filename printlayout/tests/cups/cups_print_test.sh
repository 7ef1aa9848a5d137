#!/usr/bin/env bash
# Prints a two-page Tessaly project through a real CUPS server and checks the
# PDF that the cups-pdf backend writes.
#
#   cups_print_test.sh TESSALY TESSALY_PROJECT
#
# The server is a private cupsd: its configuration, spool, logs, cache, state and
# socket live in a temporary folder, it listens on a free localhost port, does not
# browse or share, and is stopped on the way out whatever happens. The system's
# /etc/cups and any system cupsd are left alone. Two cups-pdf queues are made:
#   - the project is made while "velmark-named" is the server's default, so the
#     project names that queue; it is then printed with "velmark-default" as the
#     default and must still go to "velmark-named" (the printer by name);
#   - "velmark-named" is then deleted and the same project printed again: a project
#     whose printer is gone takes the default, so the job must go to
#     "velmark-default" (the printer CUPS calls the default).
# Each PDF must have the project's two pages, on A4, with every picture's colour
# where the project puts it and nothing where only the other page has pictures.
#
# cups-pdf reads its compiled-in /etc/cups/cups-pdf.conf. Jobs are sent under a
# user name the system does not know, which the backend treats as anonymous: the
# PDF goes to the configured AnonDirName (by default
# /var/spool/cups-pdf/ANONYMOUS) as "job_<id>-<title>.pdf", the queues asking for
# the job id in front. The job ids start at a random number, so no other server's
# files can be mistaken for ours; the PDFs are removed afterwards.
#
# The backend runs only as root (cupsd starts it as root because it is mode 0700,
# and it refuses to run otherwise), so the test needs root, as in CI. It exits 77
# (skipped) with the reason when it is not root, when a tool, the backend or its
# PPD is missing, or when cupsd cannot start.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 TESSALY TESSALY_PROJECT" >&2
  exit 2
fi
TESSALY=$1
PROJECT_TOOL=$2

NAMED=velmark-named
DEFAULT=velmark-default
JOB_USER=velmark-print-test
BACKEND=/usr/lib/cups/backend/cups-pdf
PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
CUPS_PDF_CONF=/etc/cups/cups-pdf.conf
A4_W=2100      # A4 in 0.1 mm, as projects hold paper sizes
A4_H=2970
DPI=20         # rendering resolution for the picture checks: 1 px = 1.27 mm
TOLERANCE=40   # per channel, on 0..255, for a sampled mean colour
JOB_WAIT=30    # seconds a job may take, from submission to completed

skip() {
  echo "SKIPPED: $*" >&2
  exit 77
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# --- What the test needs ------------------------------------------------------

PATH=$PATH:/usr/sbin:/sbin
for tool in cupsd lpadmin lpstat; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (packages cups, cups-client)"
done
for tool in pdfinfo pdftoppm jq gs; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
IM=$(command -v convert-im6.q16 || command -v convert) || skip "ImageMagick's convert is not installed"
[ -x "$TESSALY" ] || fail "no tessaly at $TESSALY"
[ -x "$PROJECT_TOOL" ] || fail "no tessaly-project at $PROJECT_TOOL"
[ "$(id -u)" -eq 0 ] || skip "the cups-pdf backend runs only as root; run this test as root"
[ -x "$BACKEND" ] || skip "no cups-pdf backend at $BACKEND (package printer-driver-cups-pdf)"
[ -r "$PPD" ] || skip "no CUPS-PDF PPD at $PPD (package printer-driver-cups-pdf)"
if getent passwd "$JOB_USER" >/dev/null; then
  skip "user $JOB_USER exists, so cups-pdf would write into its home instead of the anonymous folder"
fi
# The last setting wins, as in the backend; unset means the built-in default.
cups_pdf_setting() {
  local value
  value=$(awk -v key="$1" '$1 == key { v = $2 } END { print v }' "$CUPS_PDF_CONF" 2>/dev/null)
  echo "${value:-$2}"
}
ANON_DIR=$(cups_pdf_setting AnonDirName /var/spool/cups-pdf/ANONYMOUS)
SPOOL_DIR=$(cups_pdf_setting Spool /var/spool/cups-pdf/SPOOL)

# --- The private server ---------------------------------------------------------

# In /tmp whatever TMPDIR says: the filters run as user lp and must reach the spool inside.
WORK=$(mktemp -d /tmp/velmark-cups.XXXXXX) || fail "cannot make a temporary folder"
chmod 0711 "$WORK"
CUPSD_PID=
JOB_BASE=
# What the backend makes outside the temporary folder and this test removes again
# when it was not there before: its folders (only if left empty) and its queue logs.
NEW_DIRS=()
NEW_LOGS=()
for dir in "$ANON_DIR" "$SPOOL_DIR"; do [ -e "$dir" ] || NEW_DIRS+=("$dir"); done

stop_cupsd() {
  [ -n "$CUPSD_PID" ] || return 0
  kill -TERM "$CUPSD_PID" 2>/dev/null
  # Up to 5 s to stop its jobs and go; a process that has exited is a zombie until waited for.
  local state
  for _ in $(seq 50); do
    state=$(awk '{ print $3 }' "/proc/$CUPSD_PID/stat" 2>/dev/null)
    [ -z "$state" ] || [ "$state" = Z ] && break
    sleep 0.1
  done
  kill -KILL "$CUPSD_PID" 2>/dev/null
  wait "$CUPSD_PID" 2>/dev/null
  CUPSD_PID=
}

cleanup() {
  local rc=$?
  stop_cupsd
  # The PDFs of this server's jobs, whether or not they were checked, and the
  # spool files of backends stopped half-way (named after the backend's process).
  local id f
  if [ -n "$JOB_BASE" ]; then
    for ((id = JOB_BASE; id < JOB_BASE + 10; ++id)); do
      find "$ANON_DIR" -maxdepth 1 -name "job_$id-*.pdf" -newer "$WORK/started" -delete 2>/dev/null
    done
  fi
  sed -n 's|.*Started backend .*/cups-pdf (PID \([0-9]*\)).*|\1|p' "$WORK/log/error_log" 2>/dev/null |
    while read -r id; do rm -f "$SPOOL_DIR/cups2pdf-$id"; done
  for f in "${NEW_LOGS[@]}"; do rm -f "$f"; done
  for f in "${NEW_DIRS[@]}"; do rmdir "$f" 2>/dev/null; done
  rm -rf "$WORK"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

ROOT=$WORK/root
mkdir -p "$ROOT" "$WORK/spool/tmp" "$WORK/cache" "$WORK/state" "$WORK/log" "$WORK/client" "$WORK/img" \
  "$WORK/home" "$WORK/tmp" "$WORK/pdf" "$WORK/runtime"
chmod 0700 "$WORK/runtime"
touch "$WORK/started"

write_config() {
  local port=$1
  cat >"$ROOT/cups-files.conf" <<EOF
ServerRoot $ROOT
RequestRoot $WORK/spool
TempDir $WORK/spool/tmp
CacheDir $WORK/cache
StateDir $WORK/state
ServerKeychain $ROOT/ssl
CreateSelfSignedCerts no
AccessLog $WORK/log/access_log
ErrorLog $WORK/log/error_log
PageLog $WORK/log/page_log
Printcap $WORK/state/printcap
# cupsd itself runs as root, which the backend needs; the filters as lp.
User lp
Group lp
SystemGroup root
FileDevice No
EOF
  cat >"$ROOT/cupsd.conf" <<EOF
LogLevel debug
Listen 127.0.0.1:$port
Listen $WORK/state/cups.sock
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
ErrorPolicy abort-job
<Location />
  Order allow,deny
  Allow localhost
</Location>
# Only this test talks to the server: everything is allowed from here, unauthenticated.
<Policy default>
  <Limit All>
    Order deny,allow
    Allow localhost
  </Limit>
</Policy>
EOF
  # Job ids start at a random number, which names the PDFs in the shared folder.
  JOB_BASE=$((100000 + (RANDOM * 32768 + RANDOM) % 900000))
  printf '# Job cache file for CUPS\nNextJobId %d\n' "$JOB_BASE" >"$WORK/cache/job.cache"
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_cupsd() {
  local attempt port
  for attempt in 1 2 3 4 5; do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    port_in_use "$port" && continue
    rm -f "$WORK/log/error_log"
    write_config "$port"
    # No system bus: the private server must not register its queues with colord.
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$WORK/no-bus" \
      cupsd -f -c "$ROOT/cupsd.conf" -s "$ROOT/cups-files.conf" >"$WORK/log/cupsd.out" 2>&1 &
    CUPSD_PID=$!
    for _ in $(seq 100); do
      kill -0 "$CUPSD_PID" 2>/dev/null || break
      # Listening on our port, which means the server answering there is ours.
      if grep -q "Listening to 127.0.0.1:$port on" "$WORK/log/error_log" 2>/dev/null &&
        lpstat -h "localhost:$port" -r 2>/dev/null | grep -q "scheduler is running"; then
        SERVER=localhost:$port
        return 0
      fi
      sleep 0.1
    done
    echo "cupsd did not start on port $port (attempt $attempt):" >&2
    cat "$WORK/log/cupsd.out" >&2
    grep '^E' "$WORK/log/error_log" >&2 2>/dev/null
    stop_cupsd
  done
  return 1
}

start_cupsd || skip "cupsd cannot start"

# Every client talks to the private server only, as a user cups-pdf treats as
# anonymous, and never reads or writes the system's client settings.
export CUPS_SERVER=$SERVER CUPS_USER=$JOB_USER CUPS_SERVERROOT=$WORK/client
unset LPDEST PRINTER
# Tessaly in a fresh home and registry, without a screen.
export HOME=$WORK/home VELMARK_REGISTRY_DIR=$WORK/registry VELMARK_PDF_DIR=$WORK/pdf TMPDIR=$WORK/tmp \
  XDG_RUNTIME_DIR=$WORK/runtime QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY

server_log() {
  echo "--- cupsd errors and job messages:" >&2
  grep -E '^E |\[Job [0-9]+\] (Started|PID|Job|.*(error|fail|denied))' "$WORK/log/error_log" | tail -n 30 >&2
}

add_queue() {
  local log
  log=$(cups_pdf_setting Log /var/log/cups)/cups-pdf-$1_log
  # The backend opens a log named after the queue, even when it logs nothing.
  [ -e "$log" ] || NEW_LOGS+=("$log")
  lpadmin -h "$SERVER" -p "$1" -E -v cups-pdf:/ -P "$PPD" -o Label=1 -o LogType=1 >"$WORK/log/lpadmin.out" 2>&1 ||
    { cat "$WORK/log/lpadmin.out" >&2; fail "lpadmin cannot add queue $1"; }
}

set_default() {
  lpadmin -h "$SERVER" -d "$1" || fail "lpadmin cannot make $1 the default"
  lpstat -h "$SERVER" -d | grep -q "system default destination: $1\$" || fail "$1 is not the default"
}

add_queue "$NAMED"
add_queue "$DEFAULT"

# --- The project: fourteen pictures, twelve to a page -------------------------------

# Each picture's colour is in its name (order-red-green-blue.jpg); any two colours
# differ by at least 127 in some channel, and none is near white.
COLOURS=(255-0-0 0-255-0 0-0-255 255-255-0 255-0-255 0-255-255 128-0-0 0-128-0 0-0-128
  128-128-0 128-0-128 0-128-128 255-128-0 128-0-255)
n=0
for c in "${COLOURS[@]}"; do
  n=$((n + 1))
  "$IM" -size 400x300 "xc:rgb(${c//-/,})" -quality 95 "$WORK/img/$(printf %02d "$n")-$c.jpg" ||
    fail "cannot make the picture $c"
done

PROJECT=$WORK/album.tsl
set_default "$NAMED"
"$PROJECT_TOOL" new "$PROJECT" "$WORK"/img/*.jpg >"$WORK/new.out" 2>&1 || { cat "$WORK/new.out" >&2; fail "tessaly-project new"; }
"$PROJECT_TOOL" dump "$PROJECT" >"$WORK/project.json" || fail "tessaly-project dump"

# The project must be the one the checks below expect.
jq -e --arg q "$NAMED" '.printerName == $q' "$WORK/project.json" >/dev/null ||
  fail "the new project names printer $(jq -c .printerName "$WORK/project.json"), not the default $NAMED"
jq -e --argjson w "$A4_W" --argjson h "$A4_H" '.pageWidth == $w and .pageHeight == $h' "$WORK/project.json" >/dev/null ||
  fail "the project's paper is not A4: $(jq -c '[.pageWidth, .pageHeight]' "$WORK/project.json")"
PAGES=$(jq '.pages | length - 1' "$WORK/project.json")
if [ "$PAGES" -ne 2 ] || ! jq -e '[.pages[1:][] | length > 0] | all' "$WORK/project.json" >/dev/null; then
  fail "expected two pages with pictures, got $(jq -c '[.pages[1:][] | length]' "$WORK/project.json")"
fi

# One line per picture: page, x, y, width, height (0.1 mm), red, green, blue.
jq -r '.pages | to_entries[] | select(.key > 0) | .key as $p | .value[]
       | [$p, .x, .y, .width, .height]
         + (.path | split("/") | last | rtrimstr(".jpg") | split("-") | .[1:])
       | @tsv' "$WORK/project.json" >"$WORK/placements.tsv"
[ "$(wc -l <"$WORK/placements.tsv")" -eq ${#COLOURS[@]} ] || fail "the project does not hold every picture"

# The spots to sample on printed page $1, in 0.1 mm from the paper's top left
# corner: the middle of each of its pictures (the comment line takes the bottom of
# the cell, so the spot sits above the cell's middle) with the picture's colour,
# the same spot of every other page's picture that none of its own covers as
# white, and a square of the top left margin as white.
sample_spots() {
  awk -F'\t' -v page="$1" '
    function spot(kind, i, red, green, blue) {
      printf "%s %d %d %d %d %d %d %d\n", kind, x[i] + w[i] * 0.3, y[i] + h[i] * 0.3, x[i] + w[i] * 0.7,
             y[i] + h[i] * 0.6, red, green, blue
    }
    { p[NR] = $1; x[NR] = $2; y[NR] = $3; w[NR] = $4; h[NR] = $5; r[NR] = $6; g[NR] = $7; b[NR] = $8 }
    END {
      for (i = 1; i <= NR; ++i) if (p[i] == page) spot("picture", i, r[i], g[i], b[i])
      for (i = 1; i <= NR; ++i) {
        if (p[i] == page) continue
        covered = 0
        for (j = 1; j <= NR; ++j)
          if (p[j] == page && x[j] < x[i] + w[i] && x[i] < x[j] + w[j] && y[j] < y[i] + h[i] && y[i] < y[j] + h[j])
            covered = 1
        if (!covered) spot("blank", i, 255, 255, 255)
      }
      print "margin 50 50 150 150 255 255 255"
    }' "$WORK/placements.tsv"
}

# Compares the mean colour of each spot of file $2 in the page image $1 (a plain
# PPM of the whole paper, $3 x $4 in 0.1 mm) with the expected one; prints one
# line per spot that differs and exits 1 if any does.
check_spots() {
  awk -v spots="$2" -v paperw="$3" -v paperh="$4" -v tol="$TOLERANCE" '
    { for (i = 1; i <= NF; ++i) v[++n] = $i }
    END {
      if (v[1] != "P3") { print "not a plain PPM"; exit 1 }
      width = v[2]; height = v[3]; scale = 255 / v[4]; bad = 0
      sx = width / paperw; sy = height / paperh
      while ((getline line < spots) > 0) {
        split(line, s, " ")
        where = sprintf("%s at (%.1f,%.1f)-(%.1f,%.1f) mm", s[1], s[2] / 10, s[3] / 10, s[4] / 10, s[5] / 10)
        # The whole pixels inside the spot.
        x0 = int(s[2] * sx) + 1; y0 = int(s[3] * sy) + 1; x1 = int(s[4] * sx) - 1; y1 = int(s[5] * sy) - 1
        sr = sg = sb = count = 0
        for (yy = y0; yy <= y1 && yy < height; ++yy)
          for (xx = x0; xx <= x1 && xx < width; ++xx) {
            k = 4 + (yy * width + xx) * 3
            sr += v[k + 1]; sg += v[k + 2]; sb += v[k + 3]; ++count
          }
        if (count == 0) { print where ": no pixels on the page"; bad = 1; continue }
        mr = sr * scale / count; mg = sg * scale / count; mb = sb * scale / count
        dr = mr - s[6]; dg = mg - s[7]; db = mb - s[8]
        if (dr < -tol || dr > tol || dg < -tol || dg > tol || db < -tol || db > tol) {
          printf "%s: expected %d,%d,%d, found %.0f,%.0f,%.0f\n", where, s[6], s[7], s[8], mr, mg, mb
          bad = 1
        }
      }
      exit bad
    }' "$1"
}

check_pdf() {
  local pdf=$1 what=$2 pages k
  pages=$(pdfinfo "$pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  [ "$pages" = "$PAGES" ] || fail "$what: the PDF has ${pages:-no} pages, the project $PAGES"
  # Every page A4 (595.28 x 841.89 pt) within 1 pt.
  pdfinfo -f 1 -l "$pages" "$pdf" 2>/dev/null |
    awk -v pages="$pages" -v w="$A4_W" -v h="$A4_H" '
      /^Page +[0-9]+ size:/ { ++n; dw = $4 - w * 72 / 254; dh = $6 - h * 72 / 254
        if (dw < -1 || dw > 1 || dh < -1 || dh > 1) { print "page " $2 " is " $4 " x " $6 " pt"; bad = 1 } }
      END { exit bad || n != pages }' >"$WORK/sizes.out" ||
    fail "$what: not A4: $(cat "$WORK/sizes.out")"
  for ((k = 1; k <= pages; ++k)); do
    sample_spots "$k" >"$WORK/spots"
    pdftoppm -r "$DPI" -f "$k" -l "$k" -singlefile "$pdf" "$WORK/page" 2>/dev/null ||
      fail "$what: pdftoppm cannot render page $k"
    "$IM" "$WORK/page.ppm" -depth 8 -compress none ppm:"$WORK/page.txt" || fail "$what: cannot convert page $k"
    check_spots "$WORK/page.txt" "$WORK/spots" "$A4_W" "$A4_H" >"$WORK/spots.out" ||
      fail "$what: page $k does not show the pictures where the project puts them:
$(cat "$WORK/spots.out")"
  done
  echo "$what: $pages A4 pages, $(wc -l <"$WORK/placements.tsv") pictures in place"
}

# Prints the project and checks that exactly one job went to queue $1 and that its
# PDF is right; $2 says which way the printer was chosen.
print_to() {
  local queue=$1 what=$2 before jobs active job id pdfs
  before=$(lpstat -h "$SERVER" -W all -o | awk '{ print $1 }' | sort)
  touch "$WORK/stamp"
  local rc=0
  timeout 60 "$TESSALY" /p "$PROJECT" >"$WORK/tessaly.out" 2>"$WORK/tessaly.err" || rc=$?
  [ "$rc" -eq 0 ] || { cat "$WORK/tessaly.err" >&2; fail "$what: tessaly /p failed (exit $rc)"; }
  # The built-in PDF printer says where its file went; a CUPS queue says nothing.
  [ -s "$WORK/tessaly.out" ] && fail "$what: printed to a file instead of CUPS: $(cat "$WORK/tessaly.out")"

  local deadline=$((SECONDS + JOB_WAIT))
  while :; do
    active=$(lpstat -h "$SERVER" -o)
    jobs=$(lpstat -h "$SERVER" -W completed -o | awk '{ print $1 }' | sort | comm -13 <(echo "$before") -)
    [ -z "$active" ] && [ -n "$jobs" ] && break
    if [ "$SECONDS" -ge "$deadline" ]; then
      server_log
      fail "$what: no finished job after ${JOB_WAIT} s (waiting: ${active:-none}; finished: ${jobs:-none})"
    fi
    sleep 0.2
  done
  [ "$(wc -l <<<"$jobs")" -eq 1 ] || fail "$what: expected one job, got: $jobs"
  job=$jobs
  id=${job##*-}
  [ "${job%-*}" = "$queue" ] || fail "$what: the job went to ${job%-*}, not to $queue"

  mapfile -t pdfs < <(find "$ANON_DIR" -maxdepth 1 -name "job_$id-*.pdf" -newer "$WORK/stamp" 2>/dev/null)
  if [ ${#pdfs[@]} -ne 1 ]; then
    server_log
    fail "$what: job $job finished, but cups-pdf wrote ${#pdfs[@]} PDFs named job_$id-*.pdf in $ANON_DIR"
  fi
  check_pdf "${pdfs[0]}" "$what (job $job)"
}

set_default "$DEFAULT"
print_to "$NAMED" "printer by name"

lpadmin -h "$SERVER" -x "$NAMED" || fail "lpadmin cannot delete $NAMED"
print_to "$DEFAULT" "default printer"
