#!/usr/bin/env bash
# tolvane --validate: every built-in data set agrees (exit 0, the summary
# on stdout, one line per figure), and the PDF names the title, version,
# each data set's source and the result; the usage errors give 2 and
# write nothing, databac.txt is never overwritten.
#   validate_command.sh TOLVANE
set -uo pipefail
tolvane=$1
work=$(mktemp -d /tmp/tolvane-validate-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work" "$tolvane" "$@"); }

version=$("$tolvane" --version | awk '{print $2}')
out=$(run --validate report.pdf 2>"$work/err"); rc=$?
[[ $rc == 0 ]] || fail "--validate report.pdf: rc $rc, stderr $(cat "$work/err")"
[[ ! -s $work/err ]] || fail "stderr: $(cat "$work/err")"
summary=$(tail -n 1 <<<"$out")
[[ $summary =~ ^([0-9]+)\ of\ ([0-9]+)\ figures\ of\ 11\ data\ sets\ agree:\ PASS$ &&
    ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] || fail "summary line: '$summary'"
for want in 'Michelso      mean         ref 299.852400000000' 'NumAcc4       sd ' \
    'Piston rings  xbar_ucl     ref 74.014' 'Lognormal     ppk_pct      ref 1.1584990528619847862' \
    'mtcars mpg    a2           ref 0.57968' 'mtcars mpg    ad_p         ref 0.1207'; do
    grep -qF -- "$want" <<<"$out" || fail "no line '$want' in:
$out"
done
figures=$(grep -c ' pass$' <<<"$out")
[[ $summary == "$figures of $figures "* ]] || fail "$figures lines pass, summary '$summary'"

if [[ ! -s $work/report.pdf ]]; then
    fail "no report.pdf"
else
    text=$(pdftotext -layout "$work/report.pdf" - 2>/dev/null)
    for want in 'tolvane validation report' "Program: tolvane $version" 'Made: ' 'System: ' \
        'Source: NIST StRD univariate summary statistics, Michelso.dat' \
        'Source: Montgomery, Introduction to Statistical Quality Control' \
        'Source: closed form' 'Source: Henderson and Velleman (1981)' 'Result: PASS' "Summary: ${figures} of ${figures} "; do
        grep -qF -- "$want" <<<"$text" || fail "the PDF has no '$want'"
    done
    [[ $(pdfinfo "$work/report.pdf" | awk '/^Title:/{$1=""; print substr($0,2)}') == 'tolvane validation report' ]] ||
        fail "PDF title: $(pdfinfo "$work/report.pdf" | grep Title)"
fi

# Without OUT: the same lines, no file.
plain=$(run --validate 2>"$work/err"); rc=$?
[[ $rc == 0 && $plain == "$out" ]] || fail "--validate alone: rc $rc"

# A file of backup data is never replaced by the report; usage errors.
printf '"Backup Data"\r\n#2026-12-06 05:54:07#\r\n1.23\r\n' >"$work/databac.txt"
cp "$work/databac.txt" "$work/before"
run --validate databac.txt >/dev/null 2>"$work/err"; rc=$?
[[ $rc == 2 ]] && grep -q 'databac.txt' "$work/err" && cmp -s "$work/databac.txt" "$work/before" ||
    fail "--validate databac.txt: rc $rc, stderr $(cat "$work/err")"
run --validate a.pdf b.pdf >/dev/null 2>"$work/err"; rc=$?
[[ $rc == 2 && ! -e $work/a.pdf ]] && grep -q "Unexpected argument 'b.pdf'" "$work/err" ||
    fail "two OUTs: rc $rc, $(cat "$work/err")"
run --validate --stats >/dev/null 2>"$work/err"; rc=$?
[[ $rc == 2 ]] && grep -q 'cannot be given together' "$work/err" || fail "--validate --stats: rc $rc"
run --validate "$work/no/such/dir/r.pdf" >/dev/null 2>"$work/err"; rc=$?
[[ $rc == 1 ]] && grep -q 'nothing was written' "$work/err" || fail "unwritable OUT: rc $rc, $(cat "$work/err")"
help=$("$tolvane" --help)
grep -qF -- '--validate [OUT.pdf]' <<<"$help" || fail "--help has no --validate"

if [[ $failures == 0 ]]; then echo "validate_command: all passed"; else exit 1; fi
