#!/usr/bin/env bash
# tolvane --export-csv and --report, without a display, in a German locale:
# the CSV keeps a point and guards a formula-like description; the PDF holds
# the mean and the description, paginates 200 records and has no blank page;
# an export into a folder it may not write leaves no file and says why.
# With "office": LibreOffice Calc's default import reads the CSV back, numbers
# as numbers and the description as text.
#   lot_commands.sh TOLVANE [office]
# Needs pdftotext, pdftoppm and pdfinfo (poppler-utils), convert (imagemagick),
# localedef (locales), setpriv (util-linux) when run as root; soffice for office.
set -uo pipefail
tolvane=$1
mode=${2:-}
work=$(mktemp -d /tmp/tolvane-lot-XXXXXX)
chmod 755 "$work"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for tool in pdftotext pdftoppm pdfinfo convert localedef; do
    command -v $tool >/dev/null ||
        { echo "FAIL: $tool is missing (Debian: poppler-utils imagemagick locales)"; exit 1; }
done

mkdir -p "$work/locale" "$work/config/tolvane" "$work/data"
localedef -i de_DE -f UTF-8 "$work/locale/de_DE.UTF-8" 2>/dev/null ||
    { echo "FAIL: cannot make the German locale"; exit 1; }
run() {
    env -i PATH="$PATH" HOME="$work" LOCPATH="$work/locale" LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 \
        XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS=/nonexistent XDG_RUNTIME_DIR="$work" "$@"
}
printf '[tolerances]\n1\\pattern=Shaft*\n1\\nominal=1.3\n1\\lower=-0.2\n1\\upper=0.2\nsize=1\n' \
    >"$work/config/tolvane/tolvane.conf"

# 200 records of 1.1, 1.2, 1.6 (mean 1.3, one value HIGH each), then one of
# another description that begins with "=" and holds a quote and a comma.
data=$work/data/databac.txt
{
    printf '"Backup Data"\r\n'
    for ((i = 0; i < 200; i++)); do
        printf '#2026-12-%02d %02d:%02d:00#\r\n"Shaft D25"\r\n1.1\r\n1.2\r\n1.6\r\n' \
            $((1 + i / 100)) $((i % 100 / 10)) $((i % 10))
    done
    printf '#2026-12-05 08:00:00#\r\n"=Welle ""D25"", Los 7"\r\n-0.5\r\n2.25\r\n'
} >"$data"
chmod -R a+rX "$work/data"

if [[ $mode != office ]]; then
    # The CSV: a point whatever the locale, CRLF, the formula guarded.
    run "$tolvane" --export-csv "$work/out.csv" "$data" 2>"$work/err" ||
        fail "--export-csv: $(cat "$work/err")"
    [[ $(head -1 "$work/out.csv") == $'time,description,record_number,value_number,value,deviation,verdict\r' ]] ||
        fail "CSV header: $(head -1 "$work/out.csv")"
    [[ $(sed -n 4p "$work/out.csv") == $'2026-12-01T00:00:00,Shaft D25,1,3,1.6,0.3,HIGH\r' ]] ||
        fail "CSV row: $(sed -n 4p "$work/out.csv")"
    [[ $(tail -1 "$work/out.csv") == $'2026-12-05T08:00:00,"\t=Welle """"D25"""", Los 7",201,2,2.25,,\r' ]] ||
        fail "CSV guarded row: $(tail -1 "$work/out.csv" | cat -A)"
    [[ $(wc -l <"$work/out.csv") == 603 ]] || fail "CSV rows: $(wc -l <"$work/out.csv")"
    # Chosen records: a description and a day.
    run "$tolvane" --export-csv "$work/day.csv" --description 'Shaft*' --from 2026-12-02 \
        --to 2026-12-02 "$data" 2>"$work/err" || fail "--export-csv chosen: $(cat "$work/err")"
    [[ $(wc -l <"$work/day.csv") == 301 && $(sed -n 2p "$work/day.csv") == 2026-12-02T00:00:00,*,101,1,* ]] ||
        fail "chosen records: $(wc -l <"$work/day.csv") lines, $(sed -n 2p "$work/day.csv")"

    # The report: German numbers on the page, 200 records over many pages.
    run "$tolvane" --report "$work/all.pdf" "$data" 2>"$work/err" || fail "--report: $(cat "$work/err")"
    text=$(pdftotext -layout "$work/all.pdf" - 2>&1)
    [[ $text == *'=Welle ""D25"", Los 7'* ]] || fail "the description is not in the PDF"
    run "$tolvane" --report "$work/shaft.pdf" --description 'Shaft D25' "$data" 2>"$work/err" ||
        fail "--report chosen: $(cat "$work/err")"
    text=$(pdftotext -layout "$work/shaft.pdf" - 2>&1)
    [[ $text =~ Mean\ +1,300 ]] || fail "the mean 1,300 is not in the PDF: $(echo "$text" | grep -m1 Mean)"
    [[ $text =~ Page\ 1\ of\ ([0-9]+) ]] && pages_said=${BASH_REMATCH[1]}
    pages=$(pdfinfo "$work/all.pdf" | awk '/^Pages:/ { print $2 }')
    ((pages >= 10)) || fail "200 records on $pages pages"
    [[ ${pages_said:-} == $(pdfinfo "$work/shaft.pdf" | awk '/^Pages:/ { print $2 }') ]] ||
        fail "the page numbers say ${pages_said:-nothing}"
    pdftoppm -r 20 -gray "$work/all.pdf" "$work/page"
    for page in "$work"/page-*.pgm; do
        # The share of white: 1 on a blank page.
        white=$(convert "$page" -format '%[fx:mean]' info:)
        awk -v w="$white" 'BEGIN { exit !(w < 0.995) }' || fail "$(basename "$page") is blank ($white)"
    done
    (($(ls "$work"/page-*.pgm | wc -l) == pages)) || fail "pdftoppm rendered not every page"

    # A folder it may not write: no file, and why. Root may write anything:
    # then as the user nobody, with a copy of the program it can reach.
    mkdir "$work/ro" && chmod 555 "$work/ro"
    as_user=()
    program=$tolvane
    if (($(id -u) == 0)); then
        as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        program=$work/data/tolvane
        cp "$tolvane" "$program" && chmod 755 "$program"
    fi
    for option in --export-csv --report; do
        out=$work/ro/out.file
        run "${as_user[@]}" "$program" $option "$out" "$data" 2>"$work/err"
        rc=$?
        # The reason in the user's language: "Keine Berechtigung".
        [[ $rc == 1 && $(cat "$work/err") == "tolvane: $out: Keine Berechtigung; nothing was written" ]] ||
            fail "$option into a read-only folder: rc $rc, $(cat "$work/err")"
        [[ -z $(ls -A "$work/ro") ]] || fail "$option left $(ls -A "$work/ro")"
    done
    run "$tolvane" --from 2026-12-01 2>"$work/err"
    [[ $? == 2 && $(head -1 "$work/err") == "tolvane: option '--from' needs --export-csv or --report." ]] ||
        fail "--from alone: $(cat "$work/err")"
    run "$tolvane" --report "$work/x.pdf" --to 1.12.2026 "$data" 2>"$work/err"
    [[ $? == 2 && $(head -1 "$work/err") == "tolvane: '1.12.2026' for --to is no date (2026-12-06) or time (2026-12-06T08:00)." ]] ||
        fail "--to 1.12.2026: $(cat "$work/err")"
else
    # Calc's default import, in a profile of its own.
    run "$tolvane" --export-csv "$work/out.csv" "$data" 2>"$work/err" ||
        fail "--export-csv: $(cat "$work/err")"
    env -i PATH="$PATH" HOME="$work" timeout 180 soffice -env:UserInstallation="file://$work/office" \
        --headless --convert-to fods --outdir "$work/fods" "$work/out.csv" >"$work/err" 2>&1 ||
        fail "soffice --convert-to: $(cat "$work/err")"
    # Each row's cells as TYPE:TEXT, tab-separated.
    rows=$(awk 'BEGIN { RS = "</table:table-row>" }
        /<table:table-row/ {
            line = ""; rest = $0
            while (match(rest, /<table:table-cell[^>]*office:value-type="[a-z]+"[^>]*>/)) {
                cell = substr(rest, RSTART, RLENGTH); rest = substr(rest, RSTART + RLENGTH)
                match(cell, /value-type="[a-z]+"/); type = substr(cell, RSTART + 12, RLENGTH - 13)
                end = index(rest, "</table:table-cell>"); body = substr(rest, 1, end - 1)
                gsub(/<text:tab\/>/, "\\t", body); gsub(/<[^>]*>/, "", body); gsub(/\n */, "", body)
                line = line type ":" body "|"
            }
            print line
        }' "$work/fods/out.fods")
    [[ $(echo "$rows" | sed -n 4p) == date:*'|string:Shaft D25|float:1|float:3|float:1.6|float:0.3|string:HIGH|' ]] ||
        fail "Calc row 4: $(echo "$rows" | sed -n 4p)"
    [[ $(echo "$rows" | sed -n 603p) == *'|string:\t=Welle &quot;&quot;D25&quot;&quot;, Los 7|float:201|float:2|float:2.25|' ]] ||
        fail "Calc row 603: $(echo "$rows" | sed -n 603p)"
fi
((failures == 0)) && echo "all passed"
exit $((failures > 0))
