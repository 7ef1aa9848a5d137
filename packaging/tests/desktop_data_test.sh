#!/usr/bin/env bash
# The desktop data the package installs: the desktop entries, the AppStream
# metainfo, the icons they name, the MIME types they claim, and whether a MIME
# database built from the suite's definitions tells the suite's files apart.
#
#   desktop_data_test.sh SOURCE_ROOT [BINDIR]    BINDIR holds tessaly-project (default: SOURCE_ROOT/build/bin)
#
# Exits 0 when every check passes, 1 otherwise.
set -uo pipefail

root=${1:?usage: desktop_data_test.sh SOURCE_ROOT [BINDIR]}
bindir=${2:-$root/build/bin}

entries=(viewer/desktop/orvenna.desktop printlayout/desktop/tessaly.desktop tray/desktop/pennock.desktop)
metainfo=(viewer/desktop/org.velmark.orvenna.metainfo.xml printlayout/desktop/org.velmark.tessaly.metainfo.xml)
mimexml=(viewer/desktop/velmark-orvenna.xml printlayout/desktop/velmark-tessaly.xml)
icondirs=(viewer/desktop printlayout/desktop tray/desktop)
sizes=(16 22 24 32 48 64 128 256)

passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }

missing=()
for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream xmllint:libxml2-utils \
  update-mime-database:shared-mime-info gio:libglib2.0-bin; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool%%:*} (${tool#*:})")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "desktop_data_test: missing ${missing[*]}" >&2
  exit 1
fi
[[ -x $bindir/tessaly-project ]] || { echo "desktop_data_test: no tessaly-project in $bindir" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Value of KEY in the [Desktop Entry] group of FILE.
entry_value() {
  awk -F= -v key="$2" '/^\[/ { group = $0 } group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$1"
}

# --- desktop entries: the validator prints nothing for a clean file (hints too count)
for entry in "${entries[@]}"; do
  if out=$(desktop-file-validate "$root/$entry" 2>&1) && [[ -z $out ]]; then pass; else fail "desktop-file-validate $entry: $out"; fi
done

# --- the entry the tray writes per user must carry the system entry's name to take its place
user_entry=$(sed -n 's/.*kTrayAutostartFile = "\([^"]*\)".*/\1/p' "$root/platform/shell/tray_startup.h")
if [[ $user_entry == "$(basename "${entries[2]}")" ]]; then
  pass
else
  fail "the tray writes autostart/'$user_entry', the package installs $(basename "${entries[2]}")"
fi

# --- the MIME definitions and the SVG icons are well-formed XML
svgs=()
for dir in "${icondirs[@]}"; do
  for svg in "$root/$dir"/*.svg; do [[ -f $svg ]] && svgs+=("${svg#"$root"/}"); done
done
for xml in "${mimexml[@]}" "${svgs[@]}"; do
  if out=$(xmllint --noout "$root/$xml" 2>&1); then pass; else fail "xmllint $xml: $out"; fi
done

# --- metainfo: no errors or warnings; file named after its id; launches one of our entries
for meta in "${metainfo[@]}"; do
  if out=$(appstreamcli validate --no-net "$root/$meta" 2>&1) && ! grep -q '^[EW]:' <<<"$out"; then
    pass
  else
    fail "appstreamcli validate $meta: $out"
  fi
  id=$(xmllint --xpath 'string(/component/id)' "$root/$meta")
  if [[ $(basename "$meta") == "$id.metainfo.xml" ]]; then pass; else fail "$meta: component id is '$id'"; fi
  launch=$(xmllint --xpath 'string(/component/launchable[@type="desktop-id"])' "$root/$meta")
  if [[ -n $launch && -f $root/$(dirname "$meta")/$launch ]]; then
    pass
  else
    fail "$meta: launchable '$launch' is not an entry beside it"
  fi
done

# --- every Icon= has a scalable SVG or a PNG of every size, each PNG as large as its folder says
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
for entry in "${entries[@]}"; do
  icon=$(entry_value "$root/$entry" Icon)
  [[ -n $icon ]] || { fail "$entry: no Icon="; continue; }
  svg=false pngs=0
  for dir in "${icondirs[@]}"; do
    [[ -f $root/$dir/$icon.svg ]] && svg=true
    for size in "${sizes[@]}"; do
      png=$root/$dir/icons/$size/$icon.png
      [[ -f $png ]] || continue
      got=$(png_size "$png")
      if [[ $got == "${size}x${size}" ]]; then pngs=$((pngs + 1)); else fail "$dir/icons/$size/$icon.png is $got"; fi
    done
  done
  if $svg || [[ $pngs -eq ${#sizes[@]} ]]; then pass; else fail "$entry: Icon=$icon has no SVG and $pngs of ${#sizes[@]} PNG sizes"; fi
done

# --- every MimeType is known to the machine's database or defined by the suite
known=$tmp/known-types
{
  cat /usr/share/mime/types 2>/dev/null
  cut -d' ' -f1 /usr/share/mime/aliases 2>/dev/null
  for xml in "${mimexml[@]}"; do
    grep -o -E '<(mime-type|alias) type="[^"]+"' "$root/$xml" | sed -E 's/.*type="([^"]+)"/\1/'
  done
} | sort -u >"$known"
for entry in "${entries[@]}"; do
  unknown=()
  IFS=';' read -r -a types <<<"$(entry_value "$root/$entry" MimeType)"
  for type in "${types[@]}"; do
    [[ -z $type ]] || grep -qxF "$type" "$known" || unknown+=("$type")
  done
  if [[ ${#unknown[@]} -eq 0 ]]; then pass; else fail "$entry: MIME types nobody defines: ${unknown[*]}"; fi
done

# --- a database of the freedesktop base and the suite's definitions tells the files apart
mime=$tmp/data/mime
mkdir -p "$mime/packages" "$tmp/home"
cp /usr/share/mime/packages/freedesktop.org.xml "$mime/packages/"
for xml in "${mimexml[@]}"; do cp "$root/$xml" "$mime/packages/"; done
# With the folder on the search path it prints nothing unless a definition is wrong.
if out=$(XDG_DATA_HOME=$tmp/home XDG_DATA_DIRS=$tmp/data update-mime-database "$mime" 2>&1) && [[ -z $out ]]; then
  pass
else
  fail "update-mime-database: $out"
fi

# A 1 x 1 24-bit BMP for the project to hold.
printf 'BM\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0\0\0\0\0\x04\0\0\0\x13\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0\0\x20\x40\x80\0' >"$tmp/photo.bmp"
if out=$("$bindir/tessaly-project" new "$tmp/project" "$tmp/photo.bmp" 2>&1) && [[ -s $tmp/project ]]; then
  pass
else
  fail "tessaly-project new: $out"
fi
# The older forms by their first bytes, and the viewer's own types; names carry
# no extension, so only the content can tell.
printf 'KX20\0\0\0\0\0\0\0\0' >"$tmp/project-kx20"
printf '[Common]\r\nName=Holiday\r\n' >"$tmp/project-text"
printf '\xb1\x68\xde\x3a\0\0\0\0' >"$tmp/multipage"
printf '\xffWPC\x10\0\0\0\x01\x16\x01\0' >"$tmp/drawing"
printf '\xffWPC\x10\0\0\0\x01\x0a\x02\x01' >"$tmp/letter"

detect=(
  project:application/x-tessaly-project
  project-kx20:application/x-tessaly-project
  project-text:application/x-tessaly-project
  multipage:image/x-dcx
  drawing:image/x-wpg
  letter:application/vnd.wordperfect
  photo.bmp:image/bmp
)
for row in "${detect[@]}"; do
  file=${row%%:*} want=${row#*:}
  got=$(XDG_DATA_HOME=$tmp/home XDG_DATA_DIRS=$tmp/data gio info -a standard::content-type "$tmp/$file" 2>&1 |
    sed -n 's/^ *standard::content-type: //p')
  if [[ $got == "$want" ]]; then pass; else fail "$file detected as '$got', not $want"; fi
done

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
