#!/usr/bin/env bash
# The CER tables a change to the CW decoder is judged on, and their comparison between builds.
#
#   bench/cw/cer-tables.sh run BUILD OUTDIR [SET...]   write one TSV per table into OUTDIR
#   bench/cw/cer-tables.sh compare OLDDIR NEWDIR       every row of both, old -> new CER (%),
#                                                      "<<" where it changed; exit 1 if any did
#   bench/cw/cer-tables.sh pool OUTDIR                 each row of the tables run on several
#                                                      seeds (NAME-sSEED), its CER over them all
#   bench/cw/cer-tables.sh fade-bound OUTDIR [TABLE]   from the steady table (or TABLE, say
#                                                      steady-ebook): the CER of the fade rows
#                                                      if each moment of a fade read as a
#                                                      steady tone at its SNR does
#
# SETs (all when none is named):
#   floor-ours floor-ebook   noise floor, 12-40 WPM, -12 to -4 dB, 10 texts
#   imp-ours imp-ebook       each impairment alone at +6 dB, 15/25/35 WPM, 10 texts
#   fade agc                 fading at 0.5 and 0.1 Hz, crashes and AGC, seeds 1-3
#   fade-mean                fading at 0.05 to 2 Hz with the SNR the fade's mean power, seeds 1-3
#   fade-pool fade-pool-ebook  (named only) fading at 0.05 to 2 Hz (ebook2cw: 0.1, 0.5, 2 Hz), the
#                            SNR at the peak and as the mean power, seeds 1-20: 200 texts a
#                            cell for pool, where a character is 0.03 % (ebook2cw's take 30 min)
#   fade-pool-ideal          (named only) the same texts and fades as fade-pool, read by the
#                            ideal reader: what no reader of single characters can read
#   fade-ebook               ebook2cw's tones faded by sox at 0.1, 0.5 and 2 Hz, the SNR at the
#                            peak and as the mean power, seeds 1-3
#   fade-clean               ebook2cw's tones faded at 0.05 to 2 Hz with next to no noise
#                            (+60 dB), 15/22/25/31/35 WPM: a fade alone must not garble a mark
#   sweep-ebook sweep-ours   every integer speed 8-50 WPM at 0 and +10 dB, 3 texts
#   cells-ebook cells-ours    -6 dB/40 WPM and -10 dB/20 WPM, seeds 1-20 (1-3 to tune on, 4-20
#                            held out), 20 texts: a character is 0.1-0.2 % of a seed's cell, so
#                            these goals are judged on all 400 texts (see pool)
#   steady steady-ebook      a steady tone at 15/25/35 WPM from -16 to +6 dB, 20 texts, ours
#                            and ebook2cw's: what fade-bound reads
#   steady-ideal             (named only) the same texts read by the ideal reader
# A change that improves one table and worsens another is not progress: compare them all.
set -euo pipefail

usage() {
    # The comment's lines from the first command to the blank one before the sets.
    sed -n '4,/^#$/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

run_set() { # cer, outdir, set
    local cer=$1 out=$2 set=$3
    table() { # name, cw_cer options...
        local name=$1
        shift
        if ! "$cer" "$@" >"$out/$name.tsv" 2>"$out/$name.err"; then
            echo "cer-tables: $name failed (see $out/$name.err)" >&2
            failed=1
        fi
    }
    # A set named *-ebook reads ebook2cw's recordings, its twin ours; one named *-ideal reads our
    # texts with the ideal reader (cw_cer --reader ideal), the floor of each cell.
    local generator=ours reader=ours
    [[ $set == *-ebook ]] && generator=ebook2cw
    [[ $set == *-ideal ]] && reader=ideal
    # shellcheck disable=SC2054 # the commas separate cw_cer's own lists
    local six=(--snr-min 6 --snr-max 6 --jitter 0 --texts 10 --wpm 15,25,35)
    case $set in
    floor-ours) table "$set" --wpm 12,20,30,40 --snr-min -12 --snr-max -4 --jitter 0,20 --texts 10 ;;
    floor-ebook)
        table "$set" --generator ebook2cw --wpm 12,20,30,40 --snr-min -12 --snr-max -4 \
            --jitter 0 --texts 10
        ;;
    imp-ours)
        table "$set" "${six[@]}" --impairment none,weight0.7,weight1.4,rise15,farnsworth,drift,chirp,restart,wander,qsb,crashes,agc,neighbour,mp3,ogg
        ;;
    imp-ebook) table "$set" "${six[@]}" --generator ebook2cw --impairment none,farnsworth,qsb,mp3,ogg ;;
    fade)
        for seed in 1 2 3; do
            table "$set-s$seed" "${six[@]}" --seed $seed --impairment qsb
            table "$set-slow-s$seed" "${six[@]}" --seed $seed --impairment qsb --qsb-hz 0.1
        done
        ;;
    fade-mean)
        for seed in 1 2 3; do
            for hz in 0.05 0.1 0.5 1 2; do
                table "$set-${hz}hz-s$seed" "${six[@]}" --seed $seed --impairment qsb \
                    --qsb-hz $hz --qsb-snr mean
            done
        done
        ;;
    fade-pool | fade-pool-ebook | fade-pool-ideal)
        local rates=(0.05 0.1 0.5 1 2)
        [[ $generator == ebook2cw ]] && rates=(0.1 0.5 2)
        for seed in $(seq 1 20); do
            for hz in "${rates[@]}"; do
                for snr in peak mean; do
                    table "$set-$snr-${hz}hz-s$seed" "${six[@]}" --generator $generator \
                        --reader $reader --seed $seed --impairment qsb --qsb-hz $hz --qsb-snr $snr
                done
            done
        done
        ;;
    fade-ebook)
        for seed in 1 2 3; do
            for hz in 0.1 0.5 2; do
                for snr in peak mean; do
                    table "$set-${hz}hz-$snr-s$seed" "${six[@]}" --generator ebook2cw --seed $seed \
                        --impairment qsb --qsb-hz $hz --qsb-snr $snr
                done
            done
        done
        ;;
    fade-clean)
        for hz in 0.05 0.1 0.3 0.5 1 2; do
            table "$set-${hz}hz" --generator ebook2cw --wpm 15,22,25,31,35 --snr-min 60 \
                --snr-max 60 --jitter 0 --texts 10 --impairment qsb --qsb-hz $hz
        done
        ;;
    agc)
        for seed in 1 2 3; do
            table "$set-s$seed" "${six[@]}" --seed $seed --impairment agc,crashes
        done
        ;;
    steady | steady-ebook | steady-ideal)
        table "$set" --generator $generator --reader $reader --wpm 15,25,35 --snr-min -16 \
            --snr-max 6 --jitter 0 --texts 20
        ;;
    sweep-ebook | sweep-ours)
        table "$set" --generator $generator --wpm-range 8:50 --snr-min 0 --snr-max 10 \
            --snr-step 10 --jitter 0 --texts 3
        ;;
    cells-ebook | cells-ours)
        for seed in $(seq 1 20); do
            table "$set-40wpm-6db-s$seed" --generator $generator --seed "$seed" --wpm 40 \
                --snr-min -6 --snr-max -6 --jitter 0
            table "$set-20wpm-10db-s$seed" --generator $generator --seed "$seed" --wpm 20 \
                --snr-min -10 --snr-max -10 --jitter 0
        done
        ;;
    *)
        echo "cer-tables: unknown set '$set'" >&2
        failed=1
        ;;
    esac
}

run() { # build, outdir, sets...
    [[ $# -ge 2 ]] || usage
    local cer=$1/bin/cw_cer out=$2
    shift 2
    [[ -x $cer ]] || { echo "cer-tables: $cer is not built" >&2; exit 2; }
    local sets=("$@")
    [[ ${#sets[@]} -gt 0 ]] || sets=(floor-ours floor-ebook imp-ours imp-ebook fade fade-mean
        fade-ebook fade-clean agc sweep-ebook sweep-ours cells-ebook cells-ours steady
        steady-ebook)
    mkdir -p "$out"
    failed=0
    for set in "${sets[@]}"; do
        run_set "$cer" "$out" "$set"
    done
    return $failed
}

compare() { # olddir, newdir
    [[ $# -eq 2 ]] || usage
    local old=$1 new=$2 changed=0 compared=0 rows=0
    for file in "$new"/*.tsv; do
        local name
        name=$(basename "$file" .tsv)
        if [[ ! -f $old/$name.tsv ]]; then
            echo "cer-tables: $name only in $new" >&2
            continue
        fi
        if [[ $(wc -l <"$old/$name.tsv") -ne $(wc -l <"$file") ]]; then
            echo "cer-tables: $name has a different number of rows in $old and $new" >&2
            changed=1
            continue
        fi
        compared=$((compared + 1))
        # Columns: jitter, wpm, snr, texts, ours_cer, peer_cer, first_char_ok, generator,
        # impairment, after_end.
        paste <(tail -n +2 "$old/$name.tsv") <(tail -n +2 "$file") | awk -F'\t' -v name="$name" '
            { mark = ($5 != $15 || $10 != $20) ? "  <<" : ""; if (mark != "") changed = 1
              printf "%-26s %-9s %-11s %3s WPM %4s dB j%-3s %8.2f -> %6.2f %%  after end %s -> %s%s\n",
                     name, $8, $9, $2, $3, $1, 100 * $5, 100 * $15, $10, $20, mark }
            END { exit changed }' || changed=1
        rows=$((rows + $(wc -l <"$file") - 1))
    done
    [[ $compared -gt 0 ]] || { echo "cer-tables: no table in both $old and $new" >&2; exit 2; }
    if [[ $changed -eq 0 ]]; then
        echo "cer-tables: $rows rows of $compared tables, none changed"
    else
        echo "cer-tables: rows of $compared tables changed (marked <<)"
    fi
    return $changed
}

pool() { # outdir
    [[ $# -eq 1 ]] || usage
    local out=$1
    local files=("$out"/*-s[0-9]*.tsv)
    [[ -e ${files[0]} ]] || { echo "cer-tables: no table of several seeds in $out" >&2; exit 2; }
    # Every seed's cell has as many texts, of about the same length: the CER over all of
    # them is the mean of the cells'.
    for file in "${files[@]}"; do
        local name
        name=$(basename "$file" .tsv)
        tail -n +2 "$file" | awk -F'\t' -v family="${name%-s*}" -v seed="${name##*-s}" \
            '{ print family "\t" $8 "\t" $9 "\t" $2 "\t" $3 "\t" $1 "\t" $4 "\t" $5 "\t" seed }'
    done | sort -t$'\t' -k1,3 -k4,4n -k5,5n -k6,6n -k9,9n | awk -F'\t' '
        function flush() {
            if (n > 0)
                printf "%-26s %-9s %-11s %3s WPM %4s dB j%-3s %2d seeds x %3d texts  %6.2f %%  (seeds %.2f to %.2f)\n",
                       key[1], key[2], key[3], key[4], key[5], key[6], n, texts, 100 * sum / n,
                       100 * low, 100 * high
        }
        { k = $1 FS $2 FS $3 FS $4 FS $5 FS $6
          if (k != last) { flush(); last = k; split(k, key, FS); n = 0; sum = 0; texts = $7
                           low = $8; high = $8 }
          n++; sum += $8; low = ($8 < low) ? $8 : low; high = ($8 > high) ? $8 : high }
        END { flush() }'
}

fade_bound() { # outdir, table
    [[ $# -eq 1 || $# -eq 2 ]] || usage
    local name=${2:-steady}
    local table=$1/$name.tsv
    [[ -f $table ]] || { echo "cer-tables: no $name table in $1 (run the set $name)" >&2; exit 2; }
    # The fade rows' tones: a raised cosine in amplitude from the peak down to -20 dB, whose
    # SNR at any moment is the peak's plus 20 log10 of the amplitude. A decoder that read each
    # moment as well as it reads a steady tone at that SNR would miss, over a period, the mean
    # of the steady CER over those SNRs (linear between the SNRs measured, everything below
    # the lowest). Also: how much better than the steady table the floor must be for 2 %.
    tail -n +2 "$table" | sort -t$'\t' -k2,2n -k3,3n | awk -F'\t' '
        { if ($2 != wpm) { wpm = $2; speeds[++nspeeds] = wpm; n[wpm] = 0 }
          k = ++n[wpm]; snr[wpm, k] = $3; cer[wpm, k] = $5 }
        function steady(w, s,   k) {
            if (s <= snr[w, 1]) return s < snr[w, 1] ? 1 : cer[w, 1]
            for (k = 2; k <= n[w]; k++)
                if (s <= snr[w, k])
                    return cer[w, k - 1] + (cer[w, k] - cer[w, k - 1]) * (s - snr[w, k - 1]) / (snr[w, k] - snr[w, k - 1])
            return cer[w, n[w]]
        }
        function faded(w, peak,   i, sum, amplitude, steps) {
            steps = 2000
            for (i = 0; i < steps; i++) {
                amplitude = 1 - 0.9 * (0.5 - 0.5 * cos(2 * 3.14159265358979 * i / steps))
                sum += steady(w, peak + 20 * log(amplitude) / log(10))
            }
            return sum / steps
        }
        END {
            # The mean power of that fade is 3.94 dB under its peak.
            for (i = 1; i <= nspeeds; i++) {
                w = speeds[i]
                for (gain = 0; gain <= 10 && faded(w, 6 + gain) > 0.02; gain += 0.25) {}
                printf "%3s WPM, fade 20 dB: +6 dB at the peak %5.2f %%, +6 dB mean power %5.2f %%; 2 %% at the peak needs a floor %s dB better\n",
                       w, 100 * faded(w, 6), 100 * faded(w, 9.94), (gain > 10 ? "over 10" : sprintf("%.2f", gain))
            }
        }'
}

case ${1:-} in
run) shift; run "$@" ;;
compare) shift; compare "$@" ;;
pool) shift; pool "$@" ;;
fade-bound) shift; fade_bound "$@" ;;
*) usage ;;
esac
