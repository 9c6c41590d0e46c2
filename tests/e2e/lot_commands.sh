#!/usr/bin/env bash
# tolvane --export-csv, --export-aqdef and --report, without a display, in a German locale:
# the CSV keeps a point and guards a formula-like description; the PDF holds
# the mean and the description, paginates 200 records and has no blank page;
# an export into a folder it may not write leaves no file and says why; an
# output that is the backup file, or like it, is refused and leaves it whole.
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
# A description with a NUL and an escape, and fields that are no numbers but
# one.
printf '"Backup Data"\r\n#2026-12-05 09:00:00#\r\n"Los\000 8\033"\r\nnan\r\ninf\r\n-inf\r\n1.5\r\n' \
    >"$work/data/odd.txt"
mark=$'\xef\xbf\xbd'  # U+FFFD, for each control character
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
    # No control character, and no text where a number belongs.
    run "$tolvane" --export-csv "$work/odd.csv" "$work/data/odd.txt" 2>"$work/err" ||
        fail "--export-csv odd.txt: $(cat "$work/err")"
    want="2026-12-05T09:00:00,Los$mark 8$mark,1"
    [[ $(tail -n +2 "$work/odd.csv") == "$want,1,,,not a number"$'\r\n'"$want,2,,,not a number"$'\r\n'"$want,3,,,not a number"$'\r\n'"$want,4,1.5,,"$'\r' ]] ||
        fail "CSV of fields that are no numbers: $(cat -A "$work/odd.csv")"
    # Chosen records: a description and a day.
    run "$tolvane" --export-csv "$work/day.csv" --description 'Shaft*' --from 2026-12-02 \
        --to 2026-12-02 "$data" 2>"$work/err" || fail "--export-csv chosen: $(cat "$work/err")"
    [[ $(wc -l <"$work/day.csv") == 301 && $(sed -n 2p "$work/day.csv") == 2026-12-02T00:00:00,*,101,1,* ]] ||
        fail "chosen records: $(wc -l <"$work/day.csv") lines, $(sed -n 2p "$work/day.csv")"

    # Two stations: the other's record between the first two of data/, each
    # row naming its station last; the report names both in its head, and
    # each value's.
    mkdir -p "$work/other"
    printf '"Backup Data"\r\n#2026-12-01 00:00:30#\r\n"Shaft D25"\r\n1.25\r\n' >"$work/other/databac.txt"
    run "$tolvane" --export-csv "$work/two.csv" "$data" "$work/other" 2>"$work/err" ||
        fail "--export-csv of two stations: $(cat "$work/err")"
    [[ $(sed -n '1p;4,6p' "$work/two.csv" | cut -d, -f1-5,8) == "time,description,record_number,value_number,value,station"$'\r\n'"2026-12-01T00:00:00,Shaft D25,1,3,1.6,data"$'\r\n'"2026-12-01T00:00:30,Shaft D25,1,1,1.25,other"$'\r\n'"2026-12-01T00:01:00,Shaft D25,2,1,1.1,data"$'\r' ]] ||
        fail "CSV of two stations: $(head -6 "$work/two.csv" | cat -A)"
    run "$tolvane" --report "$work/two.pdf" --description 'Shaft D25' "$work/other" "$data" 2>"$work/err" ||
        fail "--report of two stations: $(cat "$work/err")"
    pdftotext -layout "$work/two.pdf" "$work/two.txt"
    [[ $(<"$work/two.txt") =~ Stations\ +other,\ data ]] ||
        fail "the report names no stations: $(head -8 "$work/two.txt")"
    grep -Eq '^ *1 +2026-12-01 00:00:30 +other +Shaft D25 +1 +1,25' "$work/two.txt" ||
        fail "the report's values name no station: $(grep -m3 00:00:30 "$work/two.txt")"
    run "$tolvane" --export-aqdef "$work/two.dfq" --description 'Shaft D25' "$data" "$work/other" 2>"$work/err" ||
        fail "--export-aqdef of two stations: $(cat "$work/err")"
    [[ $(sed -n '25,29p' "$work/two.dfq") == $'K0001/1 1.25\r\nK0004/1 01.12.2026/00:00:30\r\nK0006/1 Shaft D25\r\nK0009/1 other\r\nK0012/1 2\r' ]] ||
        fail "AQDEF of two stations: $(sed -n '10,20p' "$work/two.dfq" | cat -A)"

    # AQDEF: K-field lines with CR LF, a point in a German locale, the date
    # as DD.MM.YYYY/HH:MM:SS, the description as the batch (cut to its 14
    # characters, and said), the station named after the file's folder.
    run "$tolvane" --export-aqdef "$work/d25.dfq" --description 'Shaft*' --to 2026-12-01 "$data" \
        2>"$work/err" || fail "--export-aqdef: $(cat "$work/err")"
    [[ $(head -9 "$work/d25.dfq") == $'K0100 1\r\nK1001 d25\r\nK1002 100 of 201 records (description "Shaft*", to 2026-12-01 23:59:59)\r\nK2001/1 1\r\nK2002/1 Shaft*\r\nK2004/1 0\r\nK2101/1 1.3\r\nK2110/1 1.1\r\nK2111/1 1.5\r' ]] ||
        fail "AQDEF head: $(head -9 "$work/d25.dfq" | cat -A)"
    [[ $(sed -n '10,14p' "$work/d25.dfq") == $'K0001/1 1.1\r\nK0004/1 01.12.2026/00:00:00\r\nK0006/1 Shaft D25\r\nK0009/1 data\r\nK0012/1 1\r' &&
        $(tail -5 "$work/d25.dfq") == $'K0001/1 1.6\r\nK0004/1 01.12.2026/09:09:00\r\nK0006/1 Shaft D25\r\nK0009/1 data\r\nK0012/1 1\r' ]] ||
        fail "AQDEF values: $(sed -n '10,14p' "$work/d25.dfq" | cat -A) ... $(tail -5 "$work/d25.dfq" | cat -A)"
    [[ $(wc -l <"$work/d25.dfq") == 1509 && ! -s $work/err ]] ||
        fail "AQDEF: $(wc -l <"$work/d25.dfq") lines, $(cat "$work/err")"
    run "$tolvane" --export-aqdef "$work/all.dfq" "$data" 2>"$work/err"
    [[ $? == 0 && $(cat "$work/err") == 'tolvane: 1 record matches no tolerance entry and is left out' ]] ||
        fail "AQDEF of a record without tolerance: $(cat "$work/err")"
    # A value it cannot write: nothing is left, and the record is named.
    printf '"Backup Data"\r\n#2026-12-05 09:00:00#\r\n"Shaft D25 lot 17"\r\n1.5\r\nabc\r\n' >"$work/data/bad.txt"
    run "$tolvane" --export-aqdef "$work/bad.dfq" "$work/data/bad.txt" 2>"$work/err"
    [[ $? == 1 && $(cat "$work/err") == 'tolvane: K0006 (batch number) holds 14 characters: "Shaft D25 lot 17" is written as "Shaft D25 lot "'$'\n''tolvane: record 1, value 2 ("abc") is no number, and K0001 holds only numbers; nothing was written' ]] ||
        fail "AQDEF refused: $(cat "$work/err")"
    [[ -z $(ls -A "$work" | grep bad) ]] || fail "a refused AQDEF left $(ls -A "$work" | grep bad)"

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
    for option in --export-csv --export-aqdef --report; do
        out=$work/ro/out.file
        run "${as_user[@]}" "$program" $option "$out" "$data" 2>"$work/err"
        rc=$?
        # The reason in the user's language: "Keine Berechtigung".
        # (after the AQDEF's warning of the record it leaves out)
        [[ $rc == 1 && $(tail -1 "$work/err") == "tolvane: $out: Keine Berechtigung; nothing was written" ]] ||
            fail "$option into a read-only folder: rc $rc, $(cat "$work/err")"
        [[ -z $(ls -A "$work/ro") ]] || fail "$option left $(ls -A "$work/ro")"
    done
    # No output replaces the file it is made from, by any path to it, nor a
    # file that holds backup data; the file stays as it was, and nothing is
    # left beside it. The usual mistake: "--report databac.txt" in its folder.
    # OUT|FILE (empty: the default)|what stderr says of OUT
    cp "$data" "$work/data/old-backup.txt"
    ln -s databac.txt "$work/data/link.pdf"
    ln "$data" "$work/data/hard-link.csv"
    chmod 444 "$data"
    before=$(ls -A "$work/data")
    while IFS='|' read -r out file says; do
        for option in --export-csv --export-aqdef --report; do
            ( cd "$work/data" && run "$tolvane" $option "$out" ${file:+"$file"} ) 2>"$work/err"
            rc=$?
            case $option in
                --report) hint='--report OUT.pdf' ;;
                --export-aqdef) hint='--export-aqdef OUT.dfq' ;;
                *) hint='--export-csv OUT.csv' ;;
            esac
            [[ $rc == 2 && $(cat "$work/err") == "tolvane: $out $says; no output replaces it."$'\n'"The file to write comes first: tolvane $hint [FILE]" ]] ||
                fail "$option $out $file: rc $rc, $(cat "$work/err")"
            cmp -s "$data" "$work/data/old-backup.txt" || fail "$option $out $file changed a file of readings"
            [[ $(ls -A "$work/data") == "$before" ]] || fail "$option $out $file left $(ls -A "$work/data")"
        done
    done <<CASES
databac.txt||is the file the records are read from
$data||is the same file as databac.txt, which the records are read from
../data/./databac.txt|databac.txt|is the same file as databac.txt, which the records are read from
link.pdf|$data|is the same file as $data, which the records are read from
hard-link.csv||is the same file as databac.txt, which the records are read from
old-backup.txt|$data|holds backup data (its first line is "Backup Data")
CASES
    chmod 644 "$data"
    run "$tolvane" --from 2026-12-01 2>"$work/err"
    [[ $? == 2 && $(head -1 "$work/err") == "tolvane: option '--from' needs --export-csv, --export-aqdef, --report or --freeze-limits." ]] ||
        fail "--from alone: $(cat "$work/err")"
    run "$tolvane" --report "$work/x.pdf" --to 1.12.2026 "$data" 2>"$work/err"
    [[ $? == 2 && $(head -1 "$work/err") == "tolvane: '1.12.2026' for --to is no date (2026-12-06) or time (2026-12-06T08:00)." ]] ||
        fail "--to 1.12.2026: $(cat "$work/err")"

    # Limits frozen from four records of n = 3, the one of 10:00 (0 1 9) left
    # out: by hand X-double-bar 10/3, s-bar 4/3, sigma 1.5045, X-bar limits
    # 0.7275 / 5.9392, s UCL 3.424. A record of another characteristic (Pin)
    # comes after --to.
    frozen=$work/data/frozen.txt
    {
        printf '"Backup Data"\r\n'
        hour=8
        for values in "1 2 3" "2 3 4" "0 1 9" "3 5 7"; do
            printf '#2026-12-01 %02d:00:00#\r\n"Shaft D25"\r\n' $hour
            printf '%s\r\n' $values
            hour=$((hour + 1))
        done
        printf '#2026-12-01 12:00:00#\r\n"Pin"\r\n5\r\n'
    } >"$frozen"
    conf=$work/config/tolvane/tolvane.conf
    cp "$conf" "$work/conf-before"
    run "$tolvane" --freeze-limits "$frozen" >"$work/out" 2>"$work/err"
    [[ $? == 2 && $(cat "$work/err") == 'tolvane: the records chosen belong to 2 characteristics ("Pin", "Shaft*"); limits are frozen for one: choose it with --description.' ]] ||
        fail "--freeze-limits of two characteristics: $(cat "$work/err")"
    run "$tolvane" --freeze-limits --to 2026-12-01T11:00 --leave-out 2026-12-01T10:30 "$frozen" 2>"$work/err"
    [[ $? == 2 && $(cat "$work/err") == 'tolvane: --leave-out 2026-12-01T10:30: no record chosen has this time stamp.' ]] ||
        fail "--leave-out of no record: $(cat "$work/err")"
    cmp -s "$conf" "$work/conf-before" || fail "a refused --freeze-limits changed tolvane.conf"
    [[ ! -e $work/data/frozen-journal.csv ]] || fail "a refused --freeze-limits wrote the journal"
    run "$tolvane" --freeze-limits --to 2026-12-01T11:00 --leave-out 2026-12-01T10:00:00 \
        --reason 'loose part' "$frozen" >"$work/out" 2>"$work/err" || fail "--freeze-limits: $(cat "$work/err")"
    for line in 'Characteristic: Shaft*' 'Records used: 3 (2026-12-01T08:00:00 to 2026-12-01T11:00:00)' \
        'Left out: 1' '  2026-12-01T10:00:00 loose part' \
        'X̄ chart: LCL 0.727453269851094, centre 3.3333333333333335, UCL 5.939213396815573' \
        's chart: LCL 0, centre 1.3333333333333333, UCL 3.424226136841586' \
        'σ within: 1.50450555612735 (s-bar/c4)' 'n: 3' 'Tests: 1 2 5 6'; do
        grep -qxF -- "$line" "$work/out" || fail "--freeze-limits printed no '$line': $(cat "$work/out")"
    done
    for line in '1\pattern=Shaft*' '1\nominal=1.3' '1\control\centre=3.3333333333333335' \
        '1\control\n=3' '1\control\s_bar=1.3333333333333333' '1\control\records_used=3' \
        '1\control\left_out\1\time=2026-12-01T10:00:00' '1\control\left_out\1\reason=loose part' \
        '1\control\tests=1 2 5 6' 'size=1'; do
        grep -qxF -- "$line" "$conf" || fail "tolvane.conf has no '$line': $(cat "$conf")"
    done
    user=$(getent passwd "$(id -u)" | cut -d: -f5 | cut -d, -f1)
    [[ -n $user ]] || user=$(id -un)
    journal=$(tail -1 "$work/data/frozen-journal.csv")
    [[ $journal =~ ^2026-[0-9-]+T[0-9:]+,,Shaft\*,limits\ frozen,,,\"from\ 3\ records,\ 1\ left\ out\",$user$'\r'$ ]] ||
        fail "journal: $(cat -A "$work/data/frozen-journal.csv")"

    # A characteristic on the log scale: limits of log10 of the values, the 0
    # left out. Logs 1 2 3 | 0 1 2 | 2 3 4 | 1 3: by hand the centre 22/11 = 2,
    # the pooled s sqrt(8/7). The report: the geometric mean 10^2 = 100.
    mkdir -p "$work/logconfig/tolvane"
    printf '[tolerances]\n1\\pattern=Grain\n1\\lower=1\n1\\upper=100000\n1\\scale=log\nsize=1\n' \
        >"$work/logconfig/tolvane/tolvane.conf"
    grain=$work/data/grain.txt
    {
        printf '"Backup Data"\r\n'
        hour=8
        for values in "10 100 1000" "1 10 100" "100 1000 10000" "0 10 1000"; do
            printf '#2026-12-01 %02d:00:00#\r\n"Grain"\r\n' $hour
            printf '%s\r\n' $values
            hour=$((hour + 1))
        done
    } >"$grain"
    logrun() { run env XDG_CONFIG_HOME="$work/logconfig" "$@"; }
    logrun "$tolvane" --freeze-limits "$grain" >"$work/out" 2>"$work/err" ||
        fail "--freeze-limits on the log scale: $(cat "$work/err")"
    for line in 'Scale: logarithmic; the limits and sigma within are of log10 of the values' \
        'Values left out: 1 value is 0: no logarithm' \
        "X̄ and s charts (of log10 of the values): limits at each record's size, from the centre 2 and sigma within" \
        'σ within (of log10 of the values): 1.0690449676496976 (pooled s)'; do
        grep -qxF -- "$line" "$work/out" || fail "--freeze-limits on the log scale printed no '$line': $(cat "$work/out")"
    done
    grep -qxF '1\control\centre=2' "$work/logconfig/tolvane/tolvane.conf" ||
        fail "log limits kept: $(cat "$work/logconfig/tolvane/tolvane.conf")"
    logrun "$tolvane" --report "$work/grain.pdf" "$grain" 2>"$work/err" || fail "--report on the log scale: $(cat "$work/err")"
    text=$(pdftotext -layout "$work/grain.pdf" - 2>&1)
    [[ $text =~ Geometric\ mean\ +100,00 ]] || fail "no geometric mean 100,00: $(echo "$text" | grep -m1 Geometric)"
    [[ $text == *'1 value is 0: no logarithm'* && $text == *'Z-score, lognormal'* &&
        $text == *'frozen limits, logarithmic axis'* ]] || fail "the log scale's words are not in the PDF: $text"
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
