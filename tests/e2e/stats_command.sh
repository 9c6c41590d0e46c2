#!/usr/bin/env bash
# tolvane --stats in a German locale: the statistics of a file with known
# answers, with the tolerances of the user's and the computer's settings
# files, still with a point, control characters of a description replaced;
# and the exit status of a missing or unreadable file. The locale is made in
# a folder of the test's own (LOCPATH), so that nothing of the system's is
# needed or changed.
#   stats_command.sh TOLVANE
set -uo pipefail
tolvane=$1
work=$(mktemp -d /tmp/tolvane-stats-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work/locale" "$work/config/tolvane" "$work/xdg/tolvane"
if ! localedef -i de_DE -f UTF-8 "$work/locale/de_DE.UTF-8" 2>"$work/err"; then
    echo "FAIL: cannot make the German locale: $(cat "$work/err")"
    exit 1
fi
run() {
    env -i PATH="$PATH" HOME="$work" LOCPATH="$work/locale" LC_ALL=de_DE.UTF-8 \
        XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/xdg" "$@"
}
# glibc falls back to C without a word when a locale is missing.
point=$(run locale decimal_point)
if [[ $point != ',' ]]; then
    echo "FAIL: the German locale is not active (decimal point '$point')"
    exit 1
fi

printf '[ports]\n1=/dev/null\n[tolerances]\n1\\pattern=Shaft D25*\n1\\nominal=25\n1\\lower=-0.021\n1\\upper=0\nsize=1\n' \
    >"$work/config/tolvane/tolvane.conf"
printf '[tolerances]\n1\\pattern=Run-out\n1\\upper=0.02\n2\\pattern=Shaft*\n2\\lower=1\n2\\upper=2\nsize=2\n' \
    >"$work/xdg/tolvane/tolvane.conf"
printf '"Backup Data"\r\n#2026-12-06 05:54:07#\r\n1.23\r\n45.6\r\n700\r\n#2026-12-06 05:55:12#\r\n"Run-out"\r\n0.01\r\nabc\r\n0.02\r\n.03\r\n#2026-12-07#\r\n"Shaft D25 lot 17, \"B\""\r\n24.979\r\n25\r\n24.99\r\n25.001\r\n#2026-12-07 00:00:01#\r\n"Shaft D30"\r\n1.5\r\n#2026-12-07 00:00:02#\r\n"Run\000out\033\201"\r\nnan\r\n2\r\n-inf\r\n' \
    >"$work/data.txt"
mark=$'\xef\xbf\xbd'  # U+FFFD, for each control character (Windows-1252's 0x81 is one)
# By hand: Shaft D25: mean 24.9925, deviations -0.0135 0.0075 -0.0025 0.0085,
# s = sqrt(0.000317 / 3); Pp = 0.021 / 6s, Ppk = 0.0075 / 3s.
want='time,description,n,mean,sd,min,max,range,lsl,usl,low,high,pp,ppk,xbar_lcl,xbar_ucl,s_lcl,s_ucl,tests,scale,gmean,gsd,ad,ad_p,pp_pct,ppk_pct
2026-12-06T05:54:07,,3,248.94333333333333,391.2560052361284,1.23,700,698.77,,,,,,,,,,,,linear,,,,,,
2026-12-06T05:55:12,Run-out,3,0.02,0.01,0.01,0.03,0.02,,0.02,0,1,,0,,,,,,linear,,,,,,0
2026-12-07T00:00:00,"Shaft D25 lot 17, ""B""",4,24.9925,0.010279429296739516,24.979,25.001,0.022,24.979,25,0,1,0.3404858284408988,0.24320416317207055,,,,,,linear,,,,,0.34048843968041737,0.24320602834315527
2026-12-07T00:00:01,Shaft D30,1,1.5,,1.5,1.5,0,1,2,0,0,,,,,,,,linear,,,,,,
2026-12-07T00:00:02,Run'"${mark}out$mark$mark"',1,2,,2,2,0,,,,,,,,,,,,linear,,,,,,'
out=$(cd "$work" && run "$tolvane" --stats data.txt 2>"$work/err"); rc=$?
[[ $rc == 0 && $out == "$want" && ! -s $work/err ]] ||
    fail "--stats: rc $rc, stderr '$(cat "$work/err")', stdout:
$out"

# Frozen limits of Bore*: centre 10, sigma within 0.1 (s-bar 0.1 c4(2)) at
# n = 2: X-bar 10 -+ 3 0.1 / sqrt 2, s UCL B4(2) s-bar; at n = 3 the per-size
# limits. 10.3 breaks test 1; 10.15 after it is the second of three beyond
# 2 sigma (test 5); 9.7 10.3 has s 0.42 above the s UCL 0.26063 (test 1). Shaft D30
# has no frozen limits and Bore is judged alone, in file order.
cp "$work/config/tolvane/tolvane.conf" "$work/plain.conf"
printf '2\\pattern=Bore*\n2\\control\\chart=xbar-s\n2\\control\\sigma_method=s-bar/c4\n2\\control\\centre=10\n2\\control\\sigma_within=0.1\n2\\control\\s_bar=0.07978845608028654\n2\\control\\n=2\n2\\control\\records_used=25\n2\\control\\tests=1 2 5 6\nsize=2\n' \
    >>"$work/config/tolvane/tolvane.conf"
{
    printf '"Backup Data"\r\n'
    n=0
    for values in "10 10" "10.3 10.3" "1.5" "10.15 10.15" "9.7 10.3" "10 10.1 9.9"; do
        n=$((n + 1))
        description='"Bore 7"'
        [[ $values == 1.5 ]] && description='"Shaft D30"'
        printf '#2026-12-08 08:%02d:00#\r\n%s\r\n' $n "$description"
        printf '%s\r\n' $values
    done
} >"$work/bore.txt"
out=$(cd "$work" && run "$tolvane" --stats bore.txt 2>"$work/err" | cut -d, -f1,2,15-19); rc=$?
frozen_want='time,description,xbar_lcl,xbar_ucl,s_lcl,s_ucl,tests
2026-12-08T08:01:00,Bore 7,9.787867965644036,10.212132034355964,0,0.2606315385770126,
2026-12-08T08:02:00,Bore 7,9.787867965644036,10.212132034355964,0,0.2606315385770126,1
2026-12-08T08:03:00,Shaft D30,,,,,
2026-12-08T08:04:00,Bore 7,9.787867965644036,10.212132034355964,0,0.2606315385770126,5
2026-12-08T08:05:00,Bore 7,9.787867965644036,10.212132034355964,0,0.2606315385770126,1
2026-12-08T08:06:00,Bore 7,9.826794919243111,10.173205080756889,0,0.22759810509810707,'
[[ $rc == 0 && $out == "$frozen_want" && ! -s $work/err ]] ||
    fail "--stats with frozen limits: rc $rc, stderr '$(cat "$work/err")', stdout:
$out"
cp "$work/plain.conf" "$work/config/tolvane/tolvane.conf"

# databac.txt of the working directory by default, its last line still being
# written (left out, and said); a missing or unreadable file.
cp "$work/data.txt" "$work/databac.txt"
printf '#2026-12-08 10:00:00#\r\n1.2' >>"$work/databac.txt"
out=$(cd "$work" && run "$tolvane" --stats 2>"$work/err"); rc=$?
[[ $rc == 0 && $out == "$want
2026-12-08T10:00:00,,0,,,,,,,,,,,,,,,,,linear,,,,,," && $(cat "$work/err") == "tolvane: databac.txt: the last line has no line end yet and is left out" ]] ||
    fail "--stats without FILE: rc $rc, stderr '$(cat "$work/err")', stdout:
$out"
# A record longer than the instrument sends: its first values, and said.
{ printf '"Backup Data"\r\n#2026-12-08 11:00:00#\r\n'; for i in $(seq 300); do printf '%d\r\n' $((i <= 256 ? 1 : 1000)); done; } \
    >"$work/long.txt"
out=$(cd "$work" && run "$tolvane" --stats long.txt 2>"$work/err"); rc=$?
[[ $rc == 0 && $out == *$'\n2026-12-08T11:00:00,,256,1,0,1,1,0,,,,,,,,,,,,linear,,,,,,' &&
    $(cat "$work/err") == "tolvane: long.txt: record 1 has 300 values; only the first 256 are used" ]] ||
    fail "--stats of a record of 300 values: rc $rc, stderr '$(cat "$work/err")', stdout:
$out"
# A characteristic on the log scale: 10 100 1000 have logs 1 2 3 (mean 2,
# sd 1) against the logs of 1 and 10000, 0 has none: Pp = Ppk = 4 / 6,
# gmean 100, gsd x10; percentiles 10^(2 -+ 2.99998) = 0.1000053 and
# 99994.70: Pp 9999 / 99994.60, Ppk (10000 - 100) / (99994.70 - 100). Compared as numbers: pow and log10 may differ in the last
# digit between C libraries.
cp "$work/config/tolvane/tolvane.conf" "$work/plain.conf"
printf '2\\pattern=Leak*\n2\\lower=1\n2\\upper=10000\n2\\scale=log\nsize=2\n' \
    >>"$work/config/tolvane/tolvane.conf"
printf '"Backup Data"\r\n#2026-12-08 12:00:00#\r\n"Leak 4"\r\n10\r\n100\r\n1000\r\n0\r\n' >"$work/leak.txt"
out=$(cd "$work" && run "$tolvane" --stats leak.txt 2>"$work/err"); rc=$?
[[ $rc == 0 && ! -s $work/err ]] && awk -F, 'NR == 2 {
    exit !($3 == 4 && $4 == 277.5 && $9 == 1 && $10 == 10000 && $11 == 1 && $20 == "log" &&
           near($13, 2 / 3) && near($14, 2 / 3) && near($21, 100) && near($22, 10) &&
           $23 == "" && near($25, 9999 / 99994.6025) && near($26, 9900 / 99894.7025))
}
function near(x, y) { return x != "" && (x - y) / y < 1e-6 && (y - x) / y < 1e-6 }' \
    <<<"$out" || fail "--stats on the log scale: rc $rc, stderr '$(cat "$work/err")', stdout:
$out"
cp "$work/plain.conf" "$work/config/tolvane/tolvane.conf"

# Two stations in the subfolders of one folder: one list in time order (on
# equal times the first station first), each line naming its station last.
mkdir -p "$work/lab/north" "$work/lab/south"
printf '"Backup Data"\r\n#2026-12-09 08:00:00#\r\n"A"\r\n1\r\n#2026-12-09 08:02:00#\r\n"A"\r\n3\r\n' \
    >"$work/lab/north/databac.txt"
printf '"Backup Data"\r\n#2026-12-09 08:01:00#\r\n"B"\r\n2\r\n#2026-12-09 08:02:00#\r\n"B"\r\n4\r\n' \
    >"$work/lab/south/databac.txt"
out=$(cd "$work" && run "$tolvane" --stats lab 2>"$work/err" | cut -d, -f1-4,27); rc=$?
[[ $rc == 0 && ! -s $work/err && $out == 'time,description,n,mean,station
2026-12-09T08:00:00,A,1,1,north
2026-12-09T08:01:00,B,1,2,south
2026-12-09T08:02:00,A,1,3,north
2026-12-09T08:02:00,B,1,4,south' ]] ||
    fail "--stats of two stations: rc $rc, stderr '$(cat "$work/err")', stdout:
$out"

mkdir "$work/folder"
while IFS='|' read -r file err; do
    out=$(cd "$work" && run "$tolvane" --stats "$file" 2>"$work/err"); rc=$?
    # shellcheck disable=SC2053  # err is a pattern (the system words its reasons)
    [[ $rc == 1 && -z $out && $(cat "$work/err") == $err ]] ||
        fail "--stats $file: rc $rc, stdout '$out', stderr '$(cat "$work/err")'"
done <<CASES
missing.txt|tolvane: missing.txt: No such file or directory
folder|tolvane: folder: ?*
CASES

((failures == 0)) && echo "all passed"
exit $((failures > 0))
